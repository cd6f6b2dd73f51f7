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
    WCHAR exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring arguments = L"--gtest_also_run_disabled_tests --gtest_filter=" +
                             std::wstring(filter.begin(), filter.end());
    std::vector<wchar_t> block = EnvironmentBlock(env);
    return RunProgram(exe, arguments, INFINITE, &block);
}

std::wstring ChildMode() {
    WCHAR value[64] = {};
    GetEnvironmentVariableW(ChildModeVariable, value, 64);
    return value;
}
