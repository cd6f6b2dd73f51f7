#include "ProgramRun.h"

#include <thread>

#include "env/Handles.h"

ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                      const std::vector<wchar_t>* environment) {
    ProgramRun run;
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    UniqueHandleValue reading(readEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    run.started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                 environment ? CREATE_UNICODE_ENVIRONMENT : 0,
                                 environment ? const_cast<wchar_t*>(environment->data()) : nullptr,
                                 nullptr, &startup, &process) != FALSE;
    // Only the child holds the write end now, so the pipe ends when the child does.
    CloseHandle(writeEnd);
    if (!run.started) return run;
    UniqueHandleValue thread(process.hThread);
    UniqueHandleValue child(process.hProcess);

    // Read while the program runs, so that it never blocks on a full pipe.
    std::thread reader([&run, readEnd] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            run.output.append(buffer, read);
    });
    run.finished = WaitForSingleObject(child.Get(), timeoutMs) == WAIT_OBJECT_0;
    if (!run.finished) {
        TerminateProcess(child.Get(), 99);
        WaitForSingleObject(child.Get(), INFINITE);
    }
    GetExitCodeProcess(child.Get(), &run.exitCode);
    reader.join();
    return run;
}
