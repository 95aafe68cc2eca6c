#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "store/line_batch.h"

namespace korvantis::detail {

// Hands decoded batches from a load's reading thread to its filing thread in
// order, and empty ones back for reuse. At most kAhead batches wait, which
// bounds the memory of a load.
class BatchQueue {
  public:
    using Batch = std::unique_ptr<LineBatch>;
    static constexpr std::size_t kAhead = 3;
    // A batch is handed over when it holds this many lines or bytes.
    static constexpr std::size_t kLines = 1024;
    static constexpr std::size_t kBytes = std::size_t{256} << 10;

    BatchQueue();

    // Reading side: an empty batch to fill (waits while enough are ahead);
    // nothing once the filing side stopped.
    Batch takeEmpty();
    void pushFull(Batch batch);
    void finish(std::exception_ptr error = nullptr);

    // Filing side: the next batch in order, or nothing after the last.
    Batch takeFull();
    void giveBack(Batch batch);
    // The filing side gave up: the reading side stops.
    void stop();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> full_;
    std::vector<Batch> empty_;
    bool finished_ = false;
    bool stopped_ = false;
    std::exception_ptr error_;
};

}  // namespace korvantis::detail
