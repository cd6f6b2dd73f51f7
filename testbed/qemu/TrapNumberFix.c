/* A preload library for Wine's 32-bit processes under qemu's i386 user emulation.
 *
 * qemu delivers a guest's SIGSEGV with trap number -1 in the signal context, where the kernel
 * gives 14 (page fault). Wine's handler decides on that number alone, so every access violation
 * reaches Windows code as an illegal instruction, and code that catches access violations (SEH
 * around a probe, IsBadReadPtr and the like) ends the process instead. This library wraps
 * sigaction: the SIGSEGV handler Wine installs is called through MendTrapNumber, which puts a
 * page fault's trap number and error code into the context first.
 *
 * Built with the host's gcc -m32; handed only to emulated processes through
 * QEMU_SET_ENV=LD_PRELOAD=... (a native process never sees it). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

enum { TrapPageFault = 14, PageFaultPresent = 1, PageFaultWrite = 2, PageFaultUser = 4 };

typedef int (*SigactionFunc)(int, const struct sigaction*, struct sigaction*);
typedef void (*SigInfoHandler)(int, siginfo_t*, void*);

static SigInfoHandler wineSegvHandler;

static void MendTrapNumber(int signal, siginfo_t* info, void* context)
{
    greg_t* regs = ((ucontext_t*)context)->uc_mcontext.gregs;
    if (regs[REG_TRAPNO] < 0 || regs[REG_TRAPNO] > 31) {
        /* qemu keeps the fault's write bit in the error code; whether the page was present
           comes from si_code. */
        regs[REG_TRAPNO] = TrapPageFault;
        regs[REG_ERR] = (regs[REG_ERR] & PageFaultWrite) | PageFaultUser |
                        (info->si_code == SEGV_ACCERR ? PageFaultPresent : 0);
    }
    wineSegvHandler(signal, info, context);
}

static SigactionFunc RealSigaction(void)
{
    static SigactionFunc real;
    if (!real)
        real = (SigactionFunc)dlsym(RTLD_NEXT, "sigaction");
    return real;
}

int sigaction(int signal, const struct sigaction* action, struct sigaction* old)
{
    SigInfoHandler previous = wineSegvHandler;
    struct sigaction wrapped;
    if (signal == SIGSEGV && action && (action->sa_flags & SA_SIGINFO)) {
        wrapped = *action;
        wrapped.sa_sigaction = MendTrapNumber;
        wineSegvHandler = action->sa_sigaction;
        action = &wrapped;
    }
    int result = RealSigaction()(signal, action, old);
    /* Whoever asks for the current handler gets the one they installed, not the wrapper. */
    if (result == 0 && signal == SIGSEGV && old && (old->sa_flags & SA_SIGINFO) &&
        old->sa_sigaction == MendTrapNumber)
        old->sa_sigaction = previous;
    return result;
}
