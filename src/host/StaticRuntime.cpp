// Parts of the static C++ runtime that the DLL supplies itself, so that the library parts
// behind them stay out of the module file. Linked into the DLL only: test programs keep the
// full runtime, whose thread library also serves their own threads.
//
// The terminate handler. The runtime's default one prints the type of the escaping exception
// through the C++ name demangler and the C library's formatted output, then aborts; a browser
// has no console to read it from, and the two take about 75 KB. The module catches every
// exception at its boundaries, so the handler only ends the process, as the default one does.
//
// The thread primitives. The unwinder, the exception code and the emulated thread-local
// storage of the runtime call a few POSIX thread functions, which would link the whole
// winpthreads library (about 30 KB, with imports from KERNEL32 that Windows 2000 lacks). They
// are defined here on plain Win32: a mutex that yields while another thread holds it (the
// runtime holds its mutexes for a few instructions at a time), a once flag and thread-local
// keys on TLS indexes. The guards of function-local statics, whose library version waits on
// winpthreads' condition variables, are defined here too, and so are the nothrow allocation
// functions. No function of winpthreads is linked.
#include <windows.h>
#include <cerrno>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <new>
#include <pthread.h>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    abort();
}

} // namespace __gnu_cxx

// The allocation functions the module calls (it allocates only with std::nothrow): the
// library's versions wrap the throwing ones, which pull in the bad_alloc machinery. No new
// handler is ever installed, so a failed allocation simply gives null. Deletion stays the
// library's, which frees with free.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return malloc(size ? size : 1);
}

// The C runtime's list of destructors it runs for each TLS index when a thread ends.
extern "C" int __mingwthr_key_dtor(DWORD key, void (*destructor)(void*));
extern "C" int __mingwthr_remove_key_dtor(DWORD key);

namespace {

// A mutex word is Locked while held. Unlocked is 0; the static initialisers of the POSIX
// header (-1, -2 and -3 for the plain, error-checking and recursive kinds) also mean an
// unlocked mutex. The runtime never locks one of its mutexes twice on one thread.
const LONG Locked = 1;

LONG* Word(pthread_mutex_t* mutex) {
    return reinterpret_cast<LONG*>(mutex);
}

// Lets another thread run: first any ready thread of this priority, then, after a few
// rounds, also lower ones (Sleep(1)), so a waiter never starves the holder it waits for.
void LetOthersRun(int round) {
    Sleep(round < 16 ? 0 : 1);
}

// Once flags: PTHREAD_ONCE_INIT (0), then running, then done.
const LONG OnceRunning = 1;
const LONG OnceDone = 2;

// The TLS indexes handed out as keys, freed when the module is unloaded so that loading and
// unloading it does not use up the process's indexes.
class KeyList {
public:
    ~KeyList() {
        for (LONG i = 0; i < count_; i++) {
            __mingwthr_remove_key_dtor(keys_[i]);
            TlsFree(keys_[i]);
        }
    }
    bool Add(DWORD key) {
        LONG slot = InterlockedIncrement(&count_) - 1;
        if (slot < MaxKeys) {
            keys_[slot] = key;
            return true;
        }
        InterlockedDecrement(&count_);
        return false;
    }

private:
    // The runtime makes one key (for its thread-local exception state).
    static const LONG MaxKeys = 8;
    DWORD keys_[MaxKeys] = {};
    LONG count_ = 0;
};

KeyList g_keys;

} // namespace

extern "C" {

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t*) {
    *mutex = 0;
    return 0;
}

int pthread_mutex_destroy(pthread_mutex_t*) {
    return 0;
}

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    for (int round = 0;; round++) {
        LONG seen = *Word(mutex);
        if (seen != Locked && InterlockedCompareExchange(Word(mutex), Locked, seen) == seen)
            return 0;
        LetOthersRun(round);
    }
}

int pthread_mutex_unlock(pthread_mutex_t* mutex) {
    InterlockedExchange(Word(mutex), 0);
    return 0;
}

int pthread_once(pthread_once_t* once, void (*function)(void)) {
    if (InterlockedCompareExchange(once, OnceRunning, PTHREAD_ONCE_INIT) == PTHREAD_ONCE_INIT) {
        function();
        InterlockedExchange(once, OnceDone);
        return 0;
    }
    for (int round = 0; InterlockedCompareExchange(once, OnceDone, OnceDone) != OnceDone; round++)
        LetOthersRun(round);
    return 0;
}

int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    DWORD index = TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES) return EAGAIN;
    if (destructor && __mingwthr_key_dtor(index, destructor) != 0) {
        TlsFree(index);
        return ENOMEM;
    }
    if (!g_keys.Add(index)) {
        __mingwthr_remove_key_dtor(index);
        TlsFree(index);
        return ENOMEM;
    }
    *key = index;
    return 0;
}

void* pthread_getspecific(pthread_key_t key) {
    // Reached from inside exception handling: the caller's last-error value stays as it was.
    DWORD error = GetLastError();
    void* value = TlsGetValue(key);
    SetLastError(error);
    return value;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
    return TlsSetValue(key, const_cast<void*>(value)) ? 0 : EINVAL;
}

} // extern "C"

namespace __cxxabiv1 {

extern "C" {

// One-time construction of function-local statics (the C++ ABI's guard functions). The
// compiler tests the guard's first byte and calls these only while it is zero; the guard's
// second word holds the id of the thread that is constructing the object.
int __cxa_guard_acquire(__guard* guard) {
    LONG* done = reinterpret_cast<LONG*>(guard);
    LONG* builder = done + 1;
    LONG self = static_cast<LONG>(GetCurrentThreadId());
    for (int round = 0;; round++) {
        if (InterlockedCompareExchange(done, 0, 0) & 0xFF) return 0;
        LONG owner = InterlockedCompareExchange(builder, self, 0);
        if (owner == 0) {
            // Another thread may have finished between the two looks.
            if (!(InterlockedCompareExchange(done, 0, 0) & 0xFF)) return 1;
            InterlockedExchange(builder, 0);
            return 0;
        }
        // The object's own construction asked for it again: no order can make that work.
        if (owner == self) abort();
        LetOthersRun(round);
    }
}

void __cxa_guard_release(__guard* guard) noexcept {
    LONG* done = reinterpret_cast<LONG*>(guard);
    InterlockedExchange(done, 1);
    InterlockedExchange(done + 1, 0);
}

void __cxa_guard_abort(__guard* guard) noexcept {
    InterlockedExchange(reinterpret_cast<LONG*>(guard) + 1, 0);
}

} // extern "C"

} // namespace __cxxabiv1
