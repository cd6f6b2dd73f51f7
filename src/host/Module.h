// The module's own instance handle: set when the process attaches the DLL, used to load
// dialog templates and icons from the module. Test programs that link the module's code
// and resources directly set it to their own executable.
#pragma once

#include <windows.h>

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// A counted reference to the module for a thread or hook that must outlive the host's hold on
// it, in *reference; null there when the module is the process image itself, which is never
// unloaded. False when no reference could be taken: then nothing may start that would run the
// module's code after the host lets it go.
bool AddModuleReference(HMODULE* reference);
void ReleaseModuleReference(HMODULE module);
// Ends the calling thread; with a module reference, gives it back on the way out so that the
// module can be unmapped only after the thread has left its code.
void ExitThreadReleasingModule(HMODULE module, DWORD exitCode);
