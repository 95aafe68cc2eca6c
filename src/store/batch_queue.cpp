#include "store/batch_queue.h"

namespace korvantis::detail {

namespace {

// Room for the line that makes a batch full, and for decoded texts.
constexpr std::size_t kSlack = std::size_t{64} << 10;

}  // namespace

BatchQueue::BatchQueue() {
    // Made on the filing thread with room for a full batch, so that their
    // memory is reused from batch to batch rather than grown on the reading
    // thread.
    for (std::size_t i = 0; i < kAhead + 2; ++i) {
        auto batch = std::make_unique<LineBatch>();
        batch->text.reserve(kBytes + kSlack);
        batch->side.reserve(kSlack);
        batch->lines.reserve(kLines);
        empty_.push_back(std::move(batch));
    }
}

BatchQueue::Batch BatchQueue::takeEmpty() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || full_.size() < kAhead; });
    if (stopped_) {
        return nullptr;
    }
    if (!empty_.empty()) {
        Batch batch = std::move(empty_.back());
        empty_.pop_back();
        return batch;
    }
    return std::make_unique<LineBatch>();
}

void BatchQueue::pushFull(Batch batch) {
    std::lock_guard lock(mutex_);
    full_.push_back(std::move(batch));
    changed_.notify_all();
}

void BatchQueue::finish(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    finished_ = true;
    error_ = error;
    changed_.notify_all();
}

BatchQueue::Batch BatchQueue::takeFull() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return finished_ || !full_.empty(); });
    if (full_.empty()) {
        if (error_) {
            std::rethrow_exception(error_);
        }
        return nullptr;
    }
    Batch batch = std::move(full_.front());
    full_.pop_front();
    changed_.notify_all();
    return batch;
}

void BatchQueue::giveBack(Batch batch) {
    batch->clear();
    std::lock_guard lock(mutex_);
    empty_.push_back(std::move(batch));
}

void BatchQueue::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

}  // namespace korvantis::detail
