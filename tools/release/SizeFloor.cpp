// The size floor: the least a DLL of the module's kind weighs. Built with the module's
// toolchain and flags and linked with the same static runtime, it throws and catches one C++
// exception, as the module does; scripts/package measures the module's own share against it.
#include <windows.h>

namespace {

struct Failure {
    LONG code;
};

} // namespace

extern "C" __declspec(dllexport) LONG WINAPI ThrowAndCatch(LONG code) {
    try {
        if (code) throw Failure{code};
    } catch (const Failure& failure) {
        return failure.code;
    }
    return 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, void*) {
    return TRUE;
}
