#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "load/line_batch.h"

namespace korvantis::detail {

// Carries the batches of one load through its three stages: a reading thread
// cuts the log into lines, several decoding threads decode whole batches side
// by side, and the filing thread takes the decoded batches back in the order
// they were read. At most kInFlight batches exist, which bounds the memory of
// a load; emptied batches go back to the reading thread.
class DecodePipeline {
  public:
    using Batch = std::unique_ptr<LineBatch>;
    static constexpr std::size_t kInFlight = 8;
    // A batch is handed on once it holds this many bytes of lines: each
    // hand-over wakes a thread, and at a quarter of this the wake-ups of a
    // log of short lines cost 4% more processor time.
    static constexpr std::size_t kBytes = std::size_t{1} << 20;

    DecodePipeline();

    // Reading side: an empty batch to fill (waits while all are in use);
    // nothing once the pipeline stopped.
    Batch takeEmpty();
    void pushRead(Batch batch);
    void finishReading(std::exception_ptr error = nullptr);

    // Decoding side: the next batch to decode, or nothing when there will be
    // no more.
    Batch takeRead();
    void pushDecoded(Batch batch);
    void decodingFailed(std::exception_ptr error);

    // Filing side: the next batch in reading order, or nothing after the
    // last; rethrows what the other stages failed with.
    Batch takeDecoded();
    void giveBack(Batch batch);
    // The filing side gave up: every stage stops.
    void stop();

  private:
    void wakeAll();  // with the lock held

    std::mutex mutex_;
    // One per kind of waiter, so that a batch passed on wakes only a thread
    // that can take it: a needless wake-up costs a context switch.
    std::condition_variable emptyReady_;    // the reading thread
    std::condition_variable readReady_;     // the decoding threads
    std::condition_variable decodedReady_;  // the filing thread
    std::vector<Batch> empty_;
    std::size_t made_ = 0;
    std::deque<Batch> read_;
    std::map<std::uint64_t, Batch> decoded_;
    std::uint64_t nextRead_ = 0;   // sequence of the next batch read
    std::uint64_t nextFiled_ = 0;  // sequence the filing side waits for
    bool readingDone_ = false;
    bool stopped_ = false;
    std::exception_ptr error_;
};

}  // namespace korvantis::detail
