#include "interrupt.h"

#include <unistd.h>

#include <csignal>

#include "export/atomic_file.h"

namespace faq::app {

InterruptGuard::InterruptGuard() : mStopSignal(SIGRTMIN + 5) {
    sigemptyset(&mSet);
    sigaddset(&mSet, SIGINT);
    sigaddset(&mSet, SIGTERM);
    sigaddset(&mSet, mStopSignal);
    pthread_sigmask(SIG_BLOCK, &mSet, &mOld);
    mThread = std::thread([this] { wait(); });
}

InterruptGuard::~InterruptGuard() {
    pthread_kill(mThread.native_handle(), mStopSignal);
    mThread.join();
    // Signals that arrived meanwhile are handled as if no guard had been there.
    pthread_sigmask(SIG_SETMASK, &mOld, nullptr);
}

void InterruptGuard::setCanceller(std::function<bool()> cancel) {
    std::lock_guard lock(mLock);
    mCanceller = std::move(cancel);
}

void InterruptGuard::changeTerminal(const termios& original, const termios& now) {
    std::lock_guard lock(mLock);
    mTerminal = original;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &now);
}

void InterruptGuard::restoreTerminal() {
    std::lock_guard lock(mLock);
    if (mTerminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &*mTerminal);
    mTerminal.reset();
}

void InterruptGuard::wait() {
    for (;;) {
        int sig = 0;
        if (sigwait(&mSet, &sig) != 0) continue;
        if (sig == mStopSignal) return;
        std::unique_lock lock(mLock);
        if (mCanceller && !mCancelled && mCanceller()) {
            mCancelled = true;
            continue;
        }
        lock.unlock();
        end(sig);
    }
}

void InterruptGuard::end(int signal) {
    mLock.lock();  // held until the process ends: the terminal stays as restored
    if (mTerminal) tcsetattr(STDIN_FILENO, TCSANOW, &*mTerminal);
    output::removePendingTempsBeforeExit();
    // No stdio here: the main thread may hold its locks.
    static constexpr char kMessage[] = "\n已中断\n";
    (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    _exit(128 + signal);
}

}  // namespace faq::app
