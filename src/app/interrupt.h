// Ctrl-C and SIGTERM for the command-line sub-commands. While an InterruptGuard lives the
// two signals go to a thread of its own, so that handling them may take locks: during a
// statement they cancel it (the statement then fails as cancelled, and the caller ends
// the process); otherwise every temporary file is removed, the terminal's echo comes
// back, and the process ends with 128 + the signal number.
#pragma once

#include <pthread.h>
#include <termios.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace faq::app {

class InterruptGuard {
public:
    // Blocks the signals in the calling thread; construct before any other thread starts.
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // While set, an interrupt calls cancel, which returns false when nothing could be
    // stopped (the process then ends). A second interrupt always ends the process.
    void setCanceller(std::function<bool()> cancel);
    // Applies `now` to the terminal and remembers `original` for ending the process to
    // restore, in one step that an interrupt cannot come between.
    void changeTerminal(const termios& original, const termios& now);
    // Restores the terminal and forgets it.
    void restoreTerminal();
    // Whether an interrupt was turned into a cancel.
    bool cancelled() const { return mCancelled; }

private:
    void wait();
    [[noreturn]] void end(int signal);

    sigset_t mSet{}, mOld{};
    int mStopSignal = 0;
    std::mutex mLock;
    std::function<bool()> mCanceller;
    std::optional<termios> mTerminal;
    std::atomic<bool> mCancelled{false};
    std::thread mThread;
};

}  // namespace faq::app
