#include "cardlink/exchange_worker.h"

namespace cardlink {

ExchangeWorker::ExchangeWorker() : thread_([this] { run(); }) {}

ExchangeWorker::~ExchangeWorker() {
    stop();
}

bool ExchangeWorker::post(Task task) {
    {
        std::lock_guard lock(mu_);
        if (stopping_) return false;
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
    return true;
}

std::size_t ExchangeWorker::pending() const {
    std::lock_guard lock(mu_);
    return tasks_.size() + (running_task_ ? 1 : 0);
}

void ExchangeWorker::stop() {
    std::deque<Task> dropped;
    {
        std::lock_guard lock(mu_);
        stopping_ = true;
        dropped.swap(tasks_);  // destroyed outside the lock: a task's captures may do anything
    }
    wake_.notify_one();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void ExchangeWorker::run() {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mu_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
            running_task_ = true;
        }
        task();
        task = nullptr;
        std::lock_guard lock(mu_);
        running_task_ = false;
    }
}

}  // namespace cardlink
