// How a host program finds and loads VelaClear.dll: from its own folder, with LoadLibraryW, and
// the module's one export looked up by name.
#pragma once

#include <windows.h>
#include <string>

#include "host/ButtonHost.h"

using OnButtonMessageProc = LONG(WINAPI*)(const ButtonHostInfo* info, LONG id, LONG msg,
                                          WPARAM wparam, LPARAM lparam);

// Full path of a file in the folder of the running program.
std::wstring PathBesideProgram(const wchar_t* fileName);

// Loads the module at path (by default VelaClear.dll beside the program). Null when it cannot
// be loaded; onButtonMessage is null when the module lacks the export, and the module stays
// loaded for the caller to free.
HMODULE LoadButtonModule(OnButtonMessageProc* onButtonMessage,
                         const std::wstring& path = PathBesideProgram(L"VelaClear.dll"));
