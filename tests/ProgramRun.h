// Runs a helper program as a process of its own and gathers what it printed, for tests about
// behaviour that needs a fresh process.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct ProgramRun {
    bool started = false;
    bool finished = false; // false: still running after the time allowed, then ended
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // standard output and error, as printed
};

// Starts program with arguments and waits up to timeoutMs; a program still running then is
// ended with exit code 99. environment, when given, is a CREATE_UNICODE_ENVIRONMENT block.
ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                      const std::vector<wchar_t>* environment = nullptr);
