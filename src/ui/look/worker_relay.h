#pragma once

#include <QMetaObject>
#include <QObject>

#include <memory>
#include <mutex>
#include <utility>

namespace korvantis::ui {

// How a worker thread hands results to an object on the UI thread that may
// be gone by then: post() queues `task` on the object unless it has let go
// (release(), from its destructor), so a worker never has to be waited for.
class WorkerRelay {
  public:
    explicit WorkerRelay(QObject* target) : target_(target) {}

    template <typename Task>
    void post(Task task) {
        const std::lock_guard lock(mutex_);
        if (target_ != nullptr) {
            QMetaObject::invokeMethod(target_, std::move(task), Qt::QueuedConnection);
        }
    }
    void release() {
        const std::lock_guard lock(mutex_);
        target_ = nullptr;
    }

  private:
    std::mutex mutex_;
    QObject* target_;
};

}  // namespace korvantis::ui
