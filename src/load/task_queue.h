#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace korvantis {

// Tasks handed over from any thread, run in order on the thread that calls
// runUntil(): the store's thread of a program without an event loop.
class TaskQueue {
  public:
    using Task = std::function<void()>;

    void post(Task task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        arrived_.notify_one();
    }
    // A poster for LogLoader and the like; the queue must outlive it.
    std::function<void(Task)> poster() {
        return [this](Task task) { post(std::move(task)); };
    }
    // Runs tasks, waiting for more as needed, until `done()` holds (checked
    // before each task).
    template <typename Done>
    void runUntil(Done done) {
        while (!done()) {
            Task task;
            {
                std::unique_lock lock(mutex_);
                arrived_.wait(lock, [&] { return !tasks_.empty(); });
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Task> tasks_;
};

}  // namespace korvantis
