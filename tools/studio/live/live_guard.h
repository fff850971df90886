// live_guard.h - calls into a loaded scene library that may crash or never
// return (Linux only; the studio's live scene code is its one user).
//
// A guarded call runs a function of the library with the guard armed on the
// calling thread (the frame thread). While it is armed:
//
// - A fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL) whose instruction lies in the
//   library's code, or an abort (SIGABRT) that the library's own code asked
//   for (an assertion, or abort() called from it), ends the call: the handler
//   runs on an alternate signal stack and jumps back out of it
//   (siglongjmp), and the call returns false with what happened.
// - A watchdog thread watches the call. Past the time bound it sends
//   SIGUSR2 to the frame thread every 2 ms. A signal that finds the thread
//   in the library's own code jumps out there. One that finds it inside a
//   libc or SDL function the library called (which may hold a lock) never
//   jumps from there: on x86-64 it diverts that function's return address
//   into the library through the guard, which acts the moment the function
//   has returned, its locks released. From a quarter of a second into the
//   call it also asks, the same two ways and at most every 50 ms, the quit
//   check set by the studio (a window close, Escape, SIGINT or SIGTERM
//   waiting): a quit asked ends the call at once; otherwise the library goes
//   on with the function's results (rax, rdx, xmm0, xmm1, errno) as they
//   were. A signal may still cut short a sleep the scene asked for (EINTR).
//
// Any other fault, and a fault while no call is armed (the studio's own
// code, another thread), is not ours: the handler puts the signal's previous
// action back and the fault happens again under it (the default action: the
// program ends as it always did).
//
// What a jump leaves behind. The library's code ran up to some instruction:
// whatever it was writing (the process-wide scene state, Canvas, the
// ByteBuffer) may be half updated; the next library simply carries on from
// that state, as it carries on from any frame. Locks: the jump happens only
// with the faulting or interrupted instruction in the library (or on its
// return into it), so no lock of libc, SDL or the renderer is held by this
// thread then, except with an
// abort: glibc raises one from inside malloc when it finds the heap
// corrupted, and an abort is taken only when the library called abort() or
// failed an assertion (its frame within three of abort's), so that case is
// not caught and ends the program, but a library that corrupts the heap may
// still leave malloc broken for later. The renderer's state (target, clip
// rectangle, draw colour and blend mode) is the caller's to put back after
// a failed call; a texture the scene had locked stays locked.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

// The signal the watchdog interrupts the frame thread with.
constexpr int GUARD_WATCHDOG_SIGNAL = SIGUSR2;

// The default time bound of one call.
constexpr double GUARD_DEFAULT_TIMEOUT_S = 2.0;

enum GuardStop {
    GUARD_RETURNED = 0, // the call returned
    GUARD_FAULT,        // a fault or an abort in the library
    GUARD_TIMEOUT,      // stopped by the watchdog past the bound
    GUARD_QUIT,         // stopped because a quit was asked
};

struct GuardOutcome {
    GuardStop stop = GUARD_RETURNED;
    int signal = 0;         // the fault's signal
    int code = 0;           // its si_code
    uintptr_t address = 0;  // the address a SIGSEGV or SIGBUS touched
    uintptr_t where = 0;    // an address in the library's code: the faulting or
                            // interrupted instruction, or inside the call to abort()
    double seconds = 0.0;   // how long the call ran (timeouts and quits)
};

// The code of a loaded library: its executable segments as one range.
struct GuardRange {
    uintptr_t lo = 0, hi = 0;
    bool contains(uintptr_t a) const { return a >= lo && a < hi; }
};

// Installs the handlers and starts the watchdog, with the alternate signal
// stack on the calling thread, which becomes the one guarded calls are made
// from. False with the reason. A second call does nothing.
bool install_live_guard(std::string *error);

// Stops the watchdog and puts the previous actions back.
void remove_live_guard();

// The bound of a call, in seconds (> 0).
void set_guard_timeout(double seconds);
double guard_timeout();

// A check the watchdog's signal makes, on the frame thread, between two of
// the library's instructions while a call has run long: true when a quit
// was asked. It may call SDL's event functions (no SDL or libc lock is held
// by the thread then). Null: none.
void set_guard_quit_check(bool (*check)());

// How many times a diverted return came back through the guard (x86-64:
// see live_guard.cpp), for tests.
uint64_t guard_return_checks();

// Runs fn() with the guard armed for `code`. True when it returned; false
// with what stopped it. Only from the thread that installed the guard, and
// never nested.
bool guarded_call(void (*fn)(), const GuardRange &code, GuardOutcome *out);

// "SIGSEGV", "SIGFPE", ...
const char *guard_signal_name(int signal);

// What the fault was, in words: "a bad memory access at 0x0", "an integer
// division by zero", "an abort (a failed assertion?)", ...
std::string guard_fault_words(const GuardOutcome &o);
