#include "worker.h"

#include <chrono>
#include <system_error>

namespace faq::app {

Worker::~Worker() {
    bool running;
    {
        std::lock_guard lock(mState->lock);
        mState->stop = true;
        running = mState->busy;
    }
    mState->wake.notify_one();
    if (!mThread.joinable()) return;
    // The last owner of a session may be the job on this very thread; a running job is not
    // waited for.
    if (running || mThread.get_id() == std::this_thread::get_id())
        mThread.detach();
    else
        mThread.join();
}

bool Worker::post(std::function<void()> job) {
    {
        std::unique_lock lock(mState->lock);
        // A job hands its outcome over before it has quite ended (what it captured goes
        // after): work started in answer to that outcome waits for that moment.
        mState->idle.wait_for(lock, std::chrono::seconds(kFinishingSeconds), [&] { return !mState->busy; });
        if (mState->busy) return false;
        mState->job = std::move(job);
        mState->busy = true;
    }
    if (!mThread.joinable()) {
        try {
            mThread = std::thread(loop, mState);
        } catch (const std::system_error&) {
            // No thread to be had (memory or process limits): nothing runs.
            std::lock_guard lock(mState->lock);
            mState->job = nullptr;
            mState->busy = false;
            return false;
        }
    }
    mState->wake.notify_one();
    return true;
}

bool Worker::busy() const {
    std::lock_guard lock(mState->lock);
    return mState->busy;
}

void Worker::loop(std::shared_ptr<State> state) {
    std::unique_lock lock(state->lock);
    for (;;) {
        state->wake.wait(lock, [&] { return state->stop || state->job; });
        if (!state->job) return;  // stopped while idle
        auto job = std::move(state->job);
        state->job = nullptr;
        lock.unlock();
        job();
        job = nullptr;  // whatever the job kept alive goes here, on this thread
        lock.lock();
        state->busy = false;
        state->idle.notify_all();
        if (state->stop) return;
    }
}

}  // namespace faq::app
