// Ctrl-C and SIGTERM (on Windows, the console's Ctrl-C, Ctrl-Break and close), and the
// other signals that end a process (SIGHUP, SIGQUIT, SIGALRM, SIGUSR1 …), for the
// command-line sub-commands and the windows. While an InterruptGuard lives the interrupts are handled on
// a thread of their own, so that handling them may take locks: during a statement they
// cancel it (the statement then fails as cancelled, and the caller ends the process);
// otherwise every temporary file is removed, the terminal's echo comes back, and the
// process ends with 128 + the signal number. A cancel is given as long as the window gives
// one (kCancelBoundMs): a server that does not acknowledge it in that time is given up, and
// the process ends as if interrupted a second time.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <termios.h>
#endif

namespace faq::app {

class InterruptGuard {
public:
    // How long a cancel may take before the work is given up.
    static constexpr int kCancelBoundMs = 3000;

    // Takes the interrupts; construct before any other thread starts.
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // While set, an interrupt calls cancel, which returns false when nothing could be
    // stopped (the process then ends). A second interrupt always ends the process.
    void setCanceller(std::function<bool()> cancel);
    // The signal whose cancel the work is ending with (SIGINT, SIGTERM), or 0: the work then
    // ends the process with 128 + it, as the signal itself would.
    int cancelSignal() const { return mCancelSignal; }
    // Whether standard input is a terminal.
    static bool inputIsTerminal();
    // Turns the terminal's echo off (remembering how it was, for an interrupt to restore)
    // or back on, in one step that an interrupt cannot come between.
    void echo(bool on);

private:
    // What an interrupt does; true when it became a cancel.
    bool interrupted(int signal);
    [[noreturn]] void end(int signal, bool givenUp = false);

    std::mutex mLock;
    std::function<bool()> mCanceller;
    std::atomic<bool> mCancelled{false};
    std::atomic<int> mCancelSignal{0};
#ifdef _WIN32
    static BOOL WINAPI onConsoleEvent(DWORD event);
    std::optional<DWORD> mConsoleMode;
#else
    void wait();
    sigset_t mSet{}, mOld{};
    int mStopSignal = 0;
    std::optional<termios> mTerminal;
    std::thread mThread;
#endif
};

}  // namespace faq::app
