#include "host/ImportFallbacks.h"

ULONGLONG TickCountExtender::Now() {
    while (InterlockedExchange(&busy_, 1))
        Sleep(0);
    // Read inside the lock: a reading taken before another thread's later one would count
    // as a wrap.
    ULONGLONG result = Advance(GetTickCount());
    InterlockedExchange(&busy_, 0);
    return result;
}

ULONGLONG TickCountExtender::Advance(DWORD ticks) {
    if (ticks < last_) wraps_++;
    last_ = ticks;
    return (static_cast<ULONGLONG>(wraps_) << 32) | ticks;
}

namespace {

typedef ULONGLONG(WINAPI* GetTickCount64Function)();
typedef PVOID(WINAPI* AddHandlerFunction)(ULONG, PVECTORED_EXCEPTION_HANDLER);
typedef ULONG(WINAPI* RemoveHandlerFunction)(PVOID);

template <typename Function> Function KernelFunction(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = kernel ? GetProcAddress(kernel, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

TickCountExtender extendedTickCount;

ULONGLONG WINAPI GetTickCount64OrExtended() {
    // Looked up on every call: plain data only, since the runtime may call this before the
    // module's constructors and its own locks are ready.
    if (GetTickCount64Function real = KernelFunction<GetTickCount64Function>("GetTickCount64"))
        return real();
    return extendedTickCount.Now();
}

PVOID WINAPI AddVectoredExceptionHandlerIfPresent(ULONG first,
                                                  PVECTORED_EXCEPTION_HANDLER handler) {
    AddHandlerFunction real = KernelFunction<AddHandlerFunction>("AddVectoredExceptionHandler");
    return real ? real(first, handler) : nullptr;
}

ULONG WINAPI RemoveVectoredExceptionHandlerIfPresent(PVOID handle) {
    RemoveHandlerFunction real =
        KernelFunction<RemoveHandlerFunction>("RemoveVectoredExceptionHandler");
    return real && handle ? real(handle) : 0;
}

} // namespace

// The import slots under the names the runtime's objects refer to. They are statically
// initialised, so they are valid from the moment the DLL is mapped.
extern "C" {
GetTickCount64Function
    ImportGetTickCount64 __asm__("__imp__GetTickCount64@0") = &GetTickCount64OrExtended;
AddHandlerFunction ImportAddVectoredExceptionHandler __asm__(
    "__imp__AddVectoredExceptionHandler@8") = &AddVectoredExceptionHandlerIfPresent;
RemoveHandlerFunction ImportRemoveVectoredExceptionHandler __asm__(
    "__imp__RemoveVectoredExceptionHandler@4") = &RemoveVectoredExceptionHandlerIfPresent;
}
