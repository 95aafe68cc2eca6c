#include "load/decode_pipeline.h"

namespace korvantis::detail {

namespace {

// Room for the line that makes a batch full, for decoded texts and padding.
constexpr std::size_t kSlack = std::size_t{64} << 10;

}  // namespace

DecodePipeline::DecodePipeline() = default;

DecodePipeline::Batch DecodePipeline::takeEmpty() {
    std::unique_lock lock(mutex_);
    emptyReady_.wait(lock, [&] { return stopped_ || !empty_.empty() || made_ < kInFlight; });
    if (stopped_) {
        return nullptr;
    }
    if (!empty_.empty()) {
        Batch batch = std::move(empty_.back());
        empty_.pop_back();
        return batch;
    }
    ++made_;
    lock.unlock();
    auto batch = std::make_unique<LineBatch>();
    batch->text.reserve(kBytes + kSlack);
    batch->side.reserve(kSlack);
    batch->lines.reserve(1024);
    return batch;
}

void DecodePipeline::pushRead(Batch batch) {
    std::lock_guard lock(mutex_);
    batch->sequence = nextRead_++;
    read_.push_back(std::move(batch));
    readReady_.notify_one();
}

void DecodePipeline::finishReading(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    readingDone_ = true;
    if (error && !error_) {
        error_ = error;
    }
    readReady_.notify_all();
    decodedReady_.notify_all();
}

DecodePipeline::Batch DecodePipeline::takeRead() {
    std::unique_lock lock(mutex_);
    readReady_.wait(lock, [&] { return stopped_ || !read_.empty() || readingDone_; });
    if (stopped_ || read_.empty()) {
        return nullptr;
    }
    Batch batch = std::move(read_.front());
    read_.pop_front();
    return batch;
}

void DecodePipeline::pushDecoded(Batch batch) {
    std::lock_guard lock(mutex_);
    const std::uint64_t sequence = batch->sequence;
    decoded_.emplace(sequence, std::move(batch));
    // The filing thread waits for one batch only.
    if (sequence == nextFiled_) {
        decodedReady_.notify_one();
    }
}

void DecodePipeline::decodingFailed(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    if (!error_) {
        error_ = error;
    }
    stopped_ = true;
    wakeAll();
}

DecodePipeline::Batch DecodePipeline::takeDecoded() {
    std::unique_lock lock(mutex_);
    decodedReady_.wait(lock, [&] {
        return stopped_ || decoded_.count(nextFiled_) != 0 ||
               (readingDone_ && nextFiled_ == nextRead_);
    });
    if (error_) {
        std::rethrow_exception(error_);
    }
    auto it = decoded_.find(nextFiled_);
    if (stopped_ || it == decoded_.end()) {
        return nullptr;
    }
    Batch batch = std::move(it->second);
    decoded_.erase(it);
    ++nextFiled_;
    return batch;
}

void DecodePipeline::giveBack(Batch batch) {
    batch->clear();
    std::lock_guard lock(mutex_);
    empty_.push_back(std::move(batch));
    emptyReady_.notify_one();
}

void DecodePipeline::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    wakeAll();
}

void DecodePipeline::wakeAll() {
    emptyReady_.notify_all();
    readReady_.notify_all();
    decodedReady_.notify_all();
}

}  // namespace korvantis::detail
