// The module's own instance handle: set when the process attaches the DLL, used to load
// dialog templates and icons from the module. Test programs that link the module's code
// and resources directly set it to their own executable.
#pragma once

#include <windows.h>

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);
