#include "interrupt.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "export/atomic_file.h"
#include "terminal_text.h"

namespace faq::app {

void InterruptGuard::setCanceller(std::function<bool()> cancel) {
    std::lock_guard lock(mLock);
    mCanceller = std::move(cancel);
}

namespace {
// What the process says as it ends: interrupted, or a cancel the server did not honour in time.
constexpr char kInterrupted[] = "\n已中断\n";
constexpr char kGivenUp[] = "\n服务器在 3 秒内没有确认取消：已放弃连接，已中断\n";
}  // namespace

bool InterruptGuard::interrupted(int signal) {
    std::unique_lock lock(mLock);
    if (!mCanceller || mCancelled || !mCanceller()) return false;
    mCancelled = true;
    mCancelSignal = signal;
    // Said at once; a second interrupt ends the process without waiting for the server.
    writeTerminalNow(2, "正在取消…（再按一次 Ctrl-C 立即结束）\n");
    return true;
}

#ifdef _WIN32

namespace {
std::mutex gGuardLock;             // held while the guard below is read or changed
InterruptGuard* gGuard = nullptr;  // the one the console handler serves
}  // namespace

InterruptGuard::InterruptGuard() {
    std::lock_guard lock(gGuardLock);
    gGuard = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptGuard::~InterruptGuard() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    std::lock_guard lock(gGuardLock);
    gGuard = nullptr;
}

// Windows runs this on a thread of its own for each event: Ctrl-C and Ctrl-Break, and the
// console's close, a logoff and a shutdown, after which Windows ends the process anyway.
BOOL WINAPI InterruptGuard::onConsoleEvent(DWORD event) {
    InterruptGuard* guard = nullptr;
    {
        std::lock_guard lock(gGuardLock);
        guard = gGuard;
    }
    if (!guard) return FALSE;
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (!guard->interrupted(signal)) guard->end(signal);
    // Cancelled: the work ends the process itself within the bound, or it is given up.
    Sleep(kCancelBoundMs);
    std::lock_guard lock(gGuardLock);
    if (gGuard == guard) guard->end(signal, true);
    return TRUE;
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

void InterruptGuard::end(int signal, bool givenUp) {
    mLock.lock();  // held until the process ends: the console stays as restored
    if (mConsoleMode) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), *mConsoleMode);
    output::removePendingTempsBeforeExit();
    writeTerminalNow(2, givenUp ? kGivenUp : kInterrupted);
    ExitProcess(static_cast<UINT>(128 + signal));
}

#else

InterruptGuard::InterruptGuard() : mStopSignal(SIGRTMIN + 5) {
    sigemptyset(&mSet);
    // Every signal that ends a process by default and is not a fault of a thread's own:
    // none ends this one with a temporary file left behind. A closed pipe and a file-size
    // limit are taken here and let go: the write that raised them fails, with a message.
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ,
                          SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR, SIGSTKFLT})
        sigaddset(&mSet, sig);
    sigaddset(&mSet, mStopSignal);
    pthread_sigmask(SIG_BLOCK, &mSet, &mOld);
    mThread = std::thread([this] { wait(); });
}

InterruptGuard::~InterruptGuard() {
    pthread_kill(mThread.native_handle(), mStopSignal);
    mThread.join();
    // A write that failed on a closed pipe or the file-size limit left its signal pending
    // here: it has been answered by the write's error.
    sigset_t writes;
    sigemptyset(&writes);
    sigaddset(&writes, SIGPIPE);
    sigaddset(&writes, SIGXFSZ);
    const timespec now{};
    while (sigtimedwait(&writes, nullptr, &now) > 0) {
    }
    // Signals that arrived meanwhile are handled as if no guard had been there.
    pthread_sigmask(SIG_SETMASK, &mOld, nullptr);
}

void InterruptGuard::wait() {
    for (;;) {
        int sig = 0;
        if (sigwait(&mSet, &sig) != 0) continue;
        if (sig == mStopSignal) return;
        if (sig == SIGPIPE || sig == SIGXFSZ) continue;
        // Ctrl-C and SIGTERM first cancel a running statement; the others end at once.
        if (!((sig == SIGINT || sig == SIGTERM) && interrupted(sig))) end(sig);
        // Cancelled: the work ends the process itself within the bound, or it is given up;
        // another interrupt meanwhile ends it at once.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelBoundMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) end(sig, true);
            const timespec wait{static_cast<time_t>(left.count() / 1000000000),
                                static_cast<long>(left.count() % 1000000000)};
            const int next = sigtimedwait(&mSet, nullptr, &wait);
            if (next == mStopSignal) return;
            if (next < 0 || next == SIGPIPE || next == SIGXFSZ) continue;  // the time, or a write's signal
            end(next);
        }
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

void InterruptGuard::end(int signal, bool givenUp) {
    mLock.lock();  // held until the process ends: the terminal stays as restored
    if (mTerminal) tcsetattr(STDIN_FILENO, TCSANOW, &*mTerminal);
    output::removePendingTempsBeforeExit();
    // No stdio here: the main thread may hold its locks.
    writeTerminalNow(2, givenUp ? kGivenUp : kInterrupted);
    _exit(128 + signal);
}

#endif

}  // namespace faq::app
