// live_guard.cpp - the signal handlers, the alternate stack and the
// watchdog of guarded calls into a scene library (the manual is in
// live_guard.h).
#include "studio/live/live_guard.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#include <pthread.h>
#include <setjmp.h>
#include <unwind.h>
#include <sys/mman.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FAULT_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// The handlers' stack: room for SDL's event pump called from the quit check.
constexpr size_t ALT_STACK_BYTES = 1 << 20;
// A call that has run this long is asked about a quit at most this often.
constexpr double QUIT_CHECK_AFTER_S = 0.25;
constexpr double QUIT_CHECK_EVERY_S = 0.05;
// From then on (or past the bound) the frame thread is signalled this often:
// only a signal that finds it in the library's own instructions acts, and a
// scene that spends its time in libc (a loop around rand()) is seldom
// found there, so the signals come thick.
constexpr double POKE_EVERY_S = 0.002;
// How far above abort() the library's frame may be (abort, the assertion's
// two functions).
constexpr int ABORT_CALLER_DEPTH = 3;

bool Installed = false;
pthread_t FrameThread;
struct sigaction Previous[NSIG];
struct sigaction PreviousWatchdog;
void *AltStack = nullptr;
stack_t PreviousAltStack{};
std::atomic<double> Timeout{GUARD_DEFAULT_TIMEOUT_S};
std::atomic<bool (*)()> QuitCheck{nullptr};
uintptr_t AbortLo = 0, AbortHi = 0; // abort()'s code

// The armed call, as the handlers on the frame thread see it.
sigjmp_buf Jump;
volatile sig_atomic_t Armed = 0;
GuardRange Code;
GuardOutcome Caught;
std::atomic<uint64_t> CallSerial{0};     // the call armed now (0: none)
std::atomic<uint64_t> PastBoundCall{0};  // the call the watchdog found past its bound
double LastQuitCheck = 0.0;              // CLOCK_MONOTONIC seconds of the handler's last check

// The watchdog's side, under Mutex. Made once and never destroyed, like
// the thread: exit() (which Xlib calls when the display goes away) runs the
// static destructors while the watchdog may be waiting on Wake, and
// destroying a condition variable that has a waiter blocks for ever.
std::mutex &Mutex = *new std::mutex;
std::condition_variable &Wake = *new std::condition_variable;
bool Stop = false;
uint64_t WatchedCall = 0; // 0: none
Clock::time_point CallStart;
// Made once and never destroyed: a program that exits without removing the
// guard must not end in std::terminate for a joinable thread.
std::thread *Watchdog = nullptr;

uintptr_t interrupted_pc(void *context)
{
    const auto *uc = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
#error "the live guard knows the program counter of x86-64 and AArch64 only"
#endif
}

bool on_frame_thread() { return pthread_equal(pthread_self(), FrameThread) != 0; }

// Where in the library's code an abort was asked for: the return address of
// the library's frame when it is within ABORT_CALLER_DEPTH frames above
// abort(); 0 when the abort came from elsewhere (glibc's malloc finding a
// broken heap, the studio's own code).
uintptr_t abort_caller_in_library()
{
    void *frames[48];
    const int n = backtrace(frames, 48);
    for (int i = 0; i < n; i++) {
        const uintptr_t a = reinterpret_cast<uintptr_t>(frames[i]) - 1;
        if (a < AbortLo || a >= AbortHi)
            continue;
        for (int j = i + 1; j < n && j <= i + ABORT_CALLER_DEPTH; j++) {
            const uintptr_t caller = reinterpret_cast<uintptr_t>(frames[j]) - 1;
            if (Code.contains(caller))
                return caller;
        }
        return 0;
    }
    return 0;
}

[[noreturn]] void jump_out(GuardStop stop, int sig, int code, uintptr_t address, uintptr_t where)
{
    Armed = 0;
    Caught = GuardOutcome{};
    Caught.stop = stop;
    Caught.signal = sig;
    Caught.code = code;
    Caught.address = address;
    Caught.where = where;
    siglongjmp(Jump, 1);
}

void on_fault(int sig, siginfo_t *info, void *context)
{
    const int saved_errno = errno;
    if (Armed && on_frame_thread()) {
        const uintptr_t pc = interrupted_pc(context);
        const uintptr_t where = sig == SIGABRT ? abort_caller_in_library() : Code.contains(pc) ? pc : 0;
        if (where != 0)
            jump_out(GUARD_FAULT, sig, info->si_code,
                     sig == SIGSEGV || sig == SIGBUS ? reinterpret_cast<uintptr_t>(info->si_addr) : 0, where);
    }
    // Not ours: the previous action, and the fault again under it (a fault
    // of an instruction comes back when the handler returns; a sent one, an
    // abort too, is sent again).
    sigaction(sig, &Previous[sig], nullptr);
    if (info->si_code <= 0)
        raise(sig);
    errno = saved_errno;
}

double monotonic_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// What the armed call is due for now: a stop past the bound, a quit check
// (at most every QUIT_CHECK_EVERY_S), or nothing.
enum Due { DUE_NOTHING, DUE_STOP, DUE_CHECK };

Due due_now()
{
    const uint64_t call = CallSerial.load();
    if (call != 0 && PastBoundCall.load() == call)
        return DUE_STOP;
    if (QuitCheck.load() && monotonic_seconds() - LastQuitCheck >= QUIT_CHECK_EVERY_S)
        return DUE_CHECK;
    return DUE_NOTHING;
}

// Acts on what is due with the thread at `where` in the library's code, no
// lock of libc or SDL held: jumps out, or returns to let the scene go on.
void act(Due due, uintptr_t where)
{
    if (due == DUE_STOP)
        jump_out(GUARD_TIMEOUT, 0, 0, 0, where);
    if (due == DUE_CHECK) {
        LastQuitCheck = monotonic_seconds();
        bool (*check)() = QuitCheck.load();
        if (check && check())
            jump_out(GUARD_QUIT, 0, 0, 0, where);
    }
}

// ---- Catching the thread on its way back into the library (x86-64) ----------
//
// A scene that spends its time in a function of libc or SDL (a loop around
// rand(), around a sleep) is seldom found in its own instructions. So when a
// stop or a check is due and the thread is elsewhere, the return address by
// which the innermost function it called will come back into the library is
// replaced with return_trampoline: when that function returns, with its
// locks released, the trampoline decides (stop, quit) in the ordinary
// context of the frame thread, and otherwise goes on to the library with the
// function's return values (rax, rdx, xmm0, xmm1) as they were.

#if defined(__x86_64__)
uintptr_t *DivertedSlot = nullptr; // the stack slot changed, while one is
uintptr_t DivertedReturn = 0;      // what it held
uint64_t DivertedCall = 0;

extern "C" uintptr_t live_guard_at_return();
extern "C" void live_guard_return_trampoline();

// The section is pushed and popped: the compiler does not know that this
// block switched sections, and without -ftoplevel-reorder (as at -O0) it
// would emit the next variable into .text.
asm(R"(
    .pushsection .text
    .globl live_guard_return_trampoline
    .type live_guard_return_trampoline, @function
live_guard_return_trampoline:
    .cfi_startproc
    .cfi_undefined rip
    sub $8, %rsp
    push %rax
    push %rdx
    sub $40, %rsp
    movdqu %xmm0, (%rsp)
    movdqu %xmm1, 16(%rsp)
    call live_guard_at_return
    mov %rax, 56(%rsp)
    movdqu (%rsp), %xmm0
    movdqu 16(%rsp), %xmm1
    add $40, %rsp
    pop %rdx
    pop %rax
    ret
    .cfi_endproc
    .size live_guard_return_trampoline, .-live_guard_return_trampoline
    .popsection
)");

std::atomic<uint64_t> ReturnChecks{0};

extern "C" uintptr_t live_guard_at_return()
{
    const int saved_errno = errno; // the function's, for the library
    ReturnChecks++;
    const uintptr_t back = DivertedReturn;
    const bool ours = DivertedCall != 0 && DivertedCall == CallSerial.load() && Armed;
    DivertedSlot = nullptr;
    DivertedReturn = 0;
    DivertedCall = 0;
    if (ours)
        act(due_now(), back - 1);
    errno = saved_errno;
    return back;
}

_Unwind_Reason_Code walk_step(_Unwind_Context *context, void *data)
{
    const uintptr_t ip = _Unwind_GetIP(context);
    if (!Code.contains(ip - 1))
        return _URC_NO_REASON;
    // The first frame in the library: the address it returns to lies just
    // below the CFA that libgcc gives here (the frame it called).
    auto *slot = reinterpret_cast<uintptr_t *>(_Unwind_GetCFA(context) - sizeof(uintptr_t));
    if (*slot == ip)
        *static_cast<uintptr_t **>(data) = slot;
    return _URC_END_OF_STACK;
}

void divert_return()
{
    if (DivertedCall == CallSerial.load())
        return; // one at a time
    uintptr_t *slot = nullptr;
    _Unwind_Backtrace(walk_step, &slot);
    if (!slot)
        return;
    DivertedReturn = *slot;
    DivertedCall = CallSerial.load();
    DivertedSlot = slot;
    *slot = reinterpret_cast<uintptr_t>(live_guard_return_trampoline);
}
#else
void divert_return() {}
std::atomic<uint64_t> ReturnChecks{0};
#endif

void on_watchdog(int, siginfo_t *, void *context)
{
    const int saved_errno = errno;
    if (Armed && on_frame_thread()) {
        const Due due = due_now();
        const uintptr_t pc = interrupted_pc(context);
        if (due != DUE_NOTHING && Code.contains(pc))
            act(due, pc);
        else if (due != DUE_NOTHING)
            divert_return();
    }
    errno = saved_errno;
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void watch()
{
    std::unique_lock<std::mutex> lock(Mutex);
    while (!Stop) {
        if (WatchedCall == 0) {
            Wake.wait(lock);
            continue;
        }
        const uint64_t call = WatchedCall;
        const double ran = seconds_since(CallStart), bound = Timeout.load();
        const bool checks = QuitCheck.load() != nullptr;
        double next;
        if (ran >= bound) {
            PastBoundCall = call;
            pthread_kill(FrameThread, GUARD_WATCHDOG_SIGNAL);
            next = POKE_EVERY_S;
        } else if (checks && ran >= QUIT_CHECK_AFTER_S) {
            pthread_kill(FrameThread, GUARD_WATCHDOG_SIGNAL);
            next = std::min(POKE_EVERY_S, bound - ran);
        } else {
            next = (checks ? std::min(bound, QUIT_CHECK_AFTER_S) : bound) - ran;
        }
        Wake.wait_for(lock, std::chrono::duration<double>(next),
                      [call] { return Stop || WatchedCall != call; });
    }
}

void arm(uint64_t serial)
{
    {
        std::lock_guard<std::mutex> lock(Mutex);
        WatchedCall = serial;
        CallStart = Clock::now();
    }
    CallSerial = serial;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    Armed = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    Wake.notify_one();
}

void disarm()
{
    Armed = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
#if defined(__x86_64__)
    // A call that returned (or was left) with a return still diverted: the
    // slot belonged to a frame that is gone.
    DivertedCall = 0;
#endif
    CallSerial = 0;
    std::lock_guard<std::mutex> lock(Mutex);
    WatchedCall = 0;
}

} // namespace

bool install_live_guard(std::string *error)
{
    if (Installed)
        return true;
    // abort()'s extent, to tell an abort the library asked for.
    Dl_info info{};
    ElfW(Sym) *sym = nullptr;
    void *abort_at = dlsym(RTLD_DEFAULT, "abort");
    if (abort_at && dladdr1(abort_at, &info, reinterpret_cast<void **>(&sym), RTLD_DL_SYMENT) && sym) {
        AbortLo = reinterpret_cast<uintptr_t>(info.dli_saddr);
        AbortHi = AbortLo + sym->st_size;
    }
    // The unwinder the abort check uses is loaded now, not in a handler.
    void *frames[2];
    backtrace(frames, 2);

    AltStack = mmap(nullptr, ALT_STACK_BYTES, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (AltStack == MAP_FAILED) {
        AltStack = nullptr;
        *error = std::string("no stack for the signal handlers: ") + std::strerror(errno);
        return false;
    }
    stack_t ss{};
    ss.ss_sp = AltStack;
    ss.ss_size = ALT_STACK_BYTES;
    if (sigaltstack(&ss, &PreviousAltStack) != 0) {
        *error = std::string("no alternate signal stack: ") + std::strerror(errno);
        munmap(AltStack, ALT_STACK_BYTES);
        AltStack = nullptr;
        return false;
    }
    FrameThread = pthread_self();

    struct sigaction sa{};
    sa.sa_sigaction = on_fault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    sigaddset(&sa.sa_mask, GUARD_WATCHDOG_SIGNAL);
    for (int sig : FAULT_SIGNALS)
        sigaction(sig, &sa, &Previous[sig]);
    sa.sa_sigaction = on_watchdog;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(GUARD_WATCHDOG_SIGNAL, &sa, &PreviousWatchdog);
    // The watchdog signal reaches the frame thread whatever it blocked.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, GUARD_WATCHDOG_SIGNAL);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);

    Stop = false;
    Watchdog = new std::thread(watch);
    Installed = true;
    return true;
}

void remove_live_guard()
{
    if (!Installed)
        return;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Stop = true;
    }
    Wake.notify_one();
    Watchdog->join();
    delete Watchdog;
    Watchdog = nullptr;
    for (int sig : FAULT_SIGNALS)
        sigaction(sig, &Previous[sig], nullptr);
    sigaction(GUARD_WATCHDOG_SIGNAL, &PreviousWatchdog, nullptr);
    sigaltstack(&PreviousAltStack, nullptr);
    munmap(AltStack, ALT_STACK_BYTES);
    AltStack = nullptr;
    Installed = false;
}

void set_guard_timeout(double seconds)
{
    Timeout = seconds;
    Wake.notify_one();
}

double guard_timeout() { return Timeout.load(); }

uint64_t guard_return_checks() { return ReturnChecks.load(); }

void set_guard_quit_check(bool (*check)()) { QuitCheck = check; }

bool guarded_call(void (*fn)(), const GuardRange &code, GuardOutcome *out)
{
    static uint64_t serial = 0;
    *out = GuardOutcome{};
    const Clock::time_point start = Clock::now();
    Code = code;
    if (sigsetjmp(Jump, 1) != 0) {
        disarm();
        *out = Caught;
        out->seconds = seconds_since(start);
        return false;
    }
    arm(++serial);
    try {
        fn();
    } catch (...) {
        // An exception out of a scene is a fault of the scene: it would
        // otherwise end the studio in the middle of its frame loop.
        disarm();
        out->stop = GUARD_FAULT;
        out->where = 0;
        return false;
    }
    disarm();
    return true;
}

const char *guard_signal_name(int signal)
{
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "a signal";
    }
}

std::string guard_fault_words(const GuardOutcome &o)
{
    char text[96];
    switch (o.signal) {
    case SIGSEGV:
        std::snprintf(text, sizeof text, "a bad memory access at 0x%zx", static_cast<size_t>(o.address));
        return text;
    case SIGBUS:
        std::snprintf(text, sizeof text, "a bus error at 0x%zx", static_cast<size_t>(o.address));
        return text;
    case SIGFPE:
        return o.code == FPE_INTDIV ? "an integer division by zero"
               : o.code == FPE_INTOVF ? "an integer overflow"
                                      : "an arithmetic fault";
    case SIGILL: return "an illegal instruction (a trap?)";
    case SIGABRT: return "an abort (a failed assertion?)";
    case 0: return "an exception";
    default: return "a fault";
    }
}
