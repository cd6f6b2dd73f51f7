// The module's own instance handle: set when the process attaches the DLL, used to load
// dialog templates and icons from the module. Test programs that link the module's code
// and resources directly set it to their own executable.
#pragma once

#include <windows.h>

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// A counted reference to the module for a thread that must outlive the host's hold on it;
// null when the module is the process image itself, which is never unloaded.
HMODULE AddModuleReference();
void ReleaseModuleReference(HMODULE module);
// Ends the calling thread; with a module reference, gives it back on the way out so that the
// module can be unmapped only after the thread has left its code.
void ExitThreadReleasingModule(HMODULE module, DWORD exitCode);
