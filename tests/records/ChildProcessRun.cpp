#include "records/ChildProcessRun.h"

#include <map>

namespace {

// The current environment with env laid over it, as a CreateProcessW block (sorted, as
// Windows keeps it).
std::vector<wchar_t>
EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& env) {
    std::map<std::wstring, std::wstring> variables;
    LPWCH current = GetEnvironmentStringsW();
    for (const wchar_t* entry = current; entry && *entry; entry += lstrlenW(entry) + 1) {
        std::wstring text = entry;
        size_t equals = text.find(L'=', 1);
        if (equals == std::wstring::npos) continue;
        variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    if (current) FreeEnvironmentStringsW(current);
    for (const auto& [name, value] : env)
        variables[name] = value;
    std::vector<wchar_t> block;
    for (const auto& [name, value] : variables) {
        std::wstring entry = name + L"=" + value;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(0);
    }
    block.push_back(0);
    return block;
}

} // namespace

ChildRun RunOwnTestsInNewProcess(const std::string& filter,
                                 const std::vector<std::pair<std::wstring, std::wstring>>& env) {
    ChildRun run;
    WCHAR exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_also_run_disabled_tests " +
                           L"--gtest_filter=" + std::wstring(filter.begin(), filter.end());

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> block = EnvironmentBlock(env);
    run.started =
        CreateProcessW(exe, &command[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                       block.data(), nullptr, &startup, &process) != FALSE;
    CloseHandle(writeEnd);
    if (run.started) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            run.output.append(buffer, read);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

std::wstring ChildMode() {
    WCHAR value[64] = {};
    GetEnvironmentVariableW(ChildModeVariable, value, 64);
    return value;
}
