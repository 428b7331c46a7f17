// ExchangeWorker: one thread that runs card exchanges (or any bounded blocking task) one after another,
// in the order they were posted. It is the engine of ExchangeService and has no Qt in it, so code
// without an event loop (and the ThreadSanitizer build) can use it the same way.
//
// Threading: post() and pending() may be called from any thread. A task runs on the worker thread and
// must not block without a bound (card exchanges are bounded by their time-outs). stop() (also run by
// the destructor) lets the running task end, drops the tasks not yet started and joins the thread;
// posts after stop() are dropped. The queue is guarded by one mutex.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace cardlink {

class ExchangeWorker {
  public:
    using Task = std::function<void()>;

    ExchangeWorker();
    ~ExchangeWorker();
    ExchangeWorker(const ExchangeWorker&) = delete;
    ExchangeWorker& operator=(const ExchangeWorker&) = delete;

    // Queues `task` behind every task posted before it. False (dropped) after stop().
    bool post(Task task);
    // Tasks posted and not yet finished, the running one included.
    std::size_t pending() const;
    void stop();

  private:
    void run();

    mutable std::mutex mu_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool running_task_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once the members above exist
};

}  // namespace cardlink
