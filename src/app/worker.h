// The one thread on which a session's statements run, one job at a time, so that the
// windows stay responsive. A job that outlives its worker (an abandoned connect) finishes
// on its own; whatever it uses must be kept alive by the job itself.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace faq::app {

class Worker {
public:
    Worker() = default;
    // Ends the thread when idle; a running job is left to finish alone.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs job on the worker thread; false (and nothing runs) when no thread can be started
    // or a job is still running after a moment's wait (a job that has handed over its
    // outcome ends within it).
    bool post(std::function<void()> job);
    static constexpr int kFinishingSeconds = 2;
    bool busy() const;

private:
    struct State {
        mutable std::mutex lock;
        std::condition_variable wake;
        std::condition_variable idle;
        std::function<void()> job;
        bool busy = false;
        bool stop = false;
    };
    static void loop(std::shared_ptr<State> state);

    std::shared_ptr<State> mState = std::make_shared<State>();
    std::thread mThread;
};

}  // namespace faq::app
