#include "interrupt.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <csignal>
#include <cstdio>

#include "export/atomic_file.h"

namespace faq::app {

void InterruptGuard::setCanceller(std::function<bool()> cancel) {
    std::lock_guard lock(mLock);
    mCanceller = std::move(cancel);
}

bool InterruptGuard::interrupted(int) {
    std::unique_lock lock(mLock);
    if (!mCanceller || mCancelled || !mCanceller()) return false;
    mCancelled = true;
    return true;
}

#ifdef _WIN32

namespace {
InterruptGuard* gGuard = nullptr;  // the one the console handler serves
}

InterruptGuard::InterruptGuard() {
    gGuard = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    gGuard = nullptr;
}

// Windows runs this on a thread of its own for each event.
BOOL WINAPI InterruptGuard::onConsoleEvent(DWORD event) {
    InterruptGuard* guard = gGuard;
    if (!guard) return FALSE;
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (guard->interrupted(signal)) return TRUE;
    guard->end(signal);
}

bool InterruptGuard::inputIsTerminal() {
    return _isatty(_fileno(stdin));
}

void InterruptGuard::echo(bool on) {
    std::lock_guard lock(mLock);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode)) return;
    if (!on) {
        mConsoleMode = mode;
        SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    } else if (mConsoleMode) {
        SetConsoleMode(in, *mConsoleMode);
        mConsoleMode.reset();
    }
}

void InterruptGuard::end(int signal) {
    mLock.lock();  // held until the process ends: the console stays as restored
    if (mConsoleMode) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), *mConsoleMode);
    output::removePendingTempsBeforeExit();
    static constexpr char kMessage[] = "\n已中断\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kMessage, sizeof kMessage - 1, &written, nullptr);
    ExitProcess(static_cast<UINT>(128 + signal));
}

#else

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

void InterruptGuard::wait() {
    for (;;) {
        int sig = 0;
        if (sigwait(&mSet, &sig) != 0) continue;
        if (sig == mStopSignal) return;
        if (!interrupted(sig)) end(sig);
    }
}

bool InterruptGuard::inputIsTerminal() {
    return isatty(STDIN_FILENO);
}

void InterruptGuard::echo(bool on) {
    std::lock_guard lock(mLock);
    if (!on) {
        termios original{};
        if (tcgetattr(STDIN_FILENO, &original) != 0) return;
        termios quiet = original;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        mTerminal = original;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    } else if (mTerminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &*mTerminal);
        mTerminal.reset();
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

#endif

}  // namespace faq::app
