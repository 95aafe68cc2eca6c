#include "store/event_keeper.h"

#include <string.h>  // memmem
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "ingest/received_json.h"
#include "ingest/stream_reader.h"
#include "store/line_batch.h"

namespace korvantis {

static_assert(StreamReader::kPadding >= LineDecoder::kPadding,
              "the reading thread parses lines where the reader holds them");

namespace {

// A batch is handed over when it holds this many lines or bytes.
constexpr std::size_t kBatchLines = 1024;
constexpr std::size_t kBatchBytes = std::size_t{256} << 10;
// Batches decoded ahead of the filing; bounds the memory of a load.
constexpr std::size_t kBatchesAhead = 3;
// Room for the line that makes a batch full, and for decoded texts.
constexpr std::size_t kBatchSlack = std::size_t{64} << 10;

// Hands decoded batches from the reading thread to the filing thread in
// order, and empty ones back for reuse.
class BatchQueue {
  public:
    using Batch = std::unique_ptr<detail::LineBatch>;

    // The batches are made here, on the filing thread, with room for a full
    // batch: their memory then comes from (and goes back to) this thread's
    // heap, where the store's later allocations reuse it, rather than from a
    // heap of the short-lived reading thread.
    BatchQueue() {
        for (std::size_t i = 0; i < kBatchesAhead + 2; ++i) {
            auto batch = std::make_unique<detail::LineBatch>();
            batch->text.reserve(kBatchBytes + kBatchSlack);
            batch->side.reserve(kBatchSlack);
            batch->lines.reserve(kBatchLines);
            empty_.push_back(std::move(batch));
        }
    }

    // Reading side: an empty batch to fill (waits while enough are ahead).
    Batch takeEmpty() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || full_.size() < kBatchesAhead; });
        if (stopped_) {
            return nullptr;
        }
        if (!empty_.empty()) {
            Batch batch = std::move(empty_.back());
            empty_.pop_back();
            return batch;
        }
        return std::make_unique<detail::LineBatch>();
    }
    void pushFull(Batch batch) {
        std::lock_guard lock(mutex_);
        full_.push_back(std::move(batch));
        changed_.notify_all();
    }
    void finish(std::exception_ptr error = nullptr) {
        std::lock_guard lock(mutex_);
        finished_ = true;
        error_ = error;
        changed_.notify_all();
    }

    // Filing side: the next batch in order, or nothing after the last.
    Batch takeFull() {
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
    void giveBack(Batch batch) {
        batch->clear();
        std::lock_guard lock(mutex_);
        empty_.push_back(std::move(batch));
    }
    // Filing side gave up (an exception): the reading side stops.
    void stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> full_;
    std::vector<Batch> empty_;
    bool finished_ = false;
    bool stopped_ = false;
    std::exception_ptr error_;
};

// The reading thread: cuts the file into lines, checks and decodes each, and
// hands them over in batches. It touches nothing of the store.
void readAndDecode(StreamReader& reader, BatchQueue& queue) {
    try {
        LineDecoder decoder;
        BatchQueue::Batch batch = queue.takeEmpty();
        while (batch) {
            auto line = reader.nextLine();
            if (!line) {
                if (!batch->lines.empty()) {
                    queue.pushFull(std::move(batch));
                }
                break;
            }
            if (line->valid) {
                // Lines from the reader have padding after them: parsed where they lie.
                detail::describeLine(
                    line->text, decoder.decodePadded(line->text.data(), line->text.size()), *batch);
            } else {
                detail::describeInvalidLine(line->text, *batch);
            }
            if (batch->lines.size() >= kBatchLines || batch->text.size() >= kBatchBytes) {
                queue.pushFull(std::move(batch));
                batch = queue.takeEmpty();
            }
        }
        queue.finish();
    } catch (...) {
        queue.finish(std::current_exception());
    }
}

}  // namespace

EventKeeper::EventKeeper(Executor executor)
    : executor_(std::move(executor)), decoder_(std::make_unique<LineDecoder>()) {}

EventKeeper::~EventKeeper() = default;

const std::array<std::string_view, 7>& EventKeeper::monitoredFileEvents() {
    // The names that filing sorts by are decided once, with the process
    // events; the monitored ones follow those two.
    static const std::array<std::string_view, 7> names = [] {
        std::array<std::string_view, 7> a;
        std::copy_n(detail::knownEventNames() + 2, a.size(), a.begin());
        return a;
    }();
    return names;
}

EventKeeper::ObserverId EventKeeper::observe(Observer observer) {
    const ObserverId id = nextObserverId_++;
    observers_.push_back(std::make_unique<ObserverEntry>(ObserverEntry{id, std::move(observer)}));
    return id;
}

void EventKeeper::unobserve(ObserverId id) {
    for (auto it = observers_.begin(); it != observers_.end(); ++it) {
        if ((*it)->id == id) {
            if (announcing_ > 0) {
                // It may be running right now: dropped once the telling ends.
                (*it)->removed = true;
                observersRemoved_ = true;
            } else {
                observers_.erase(it);
            }
            return;
        }
    }
}

void EventKeeper::announce(StoreField field) {
    // Called for every appended entry of a load: no copy, no allocation.
    // Observers added meanwhile are told from the next change on; removed
    // ones are not told any more.
    const std::size_t count = observers_.size();
    if (count == 0) {
        return;
    }
    ++announcing_;
    try {
        for (std::size_t i = 0; i < count; ++i) {
            ObserverEntry* entry = observers_[i].get();
            if (!entry->removed) {
                entry->observer(field);
            }
        }
    } catch (...) {
        --announcing_;
        dropRemovedObservers();
        throw;
    }
    --announcing_;
    dropRemovedObservers();
}

void EventKeeper::dropRemovedObservers() {
    if (announcing_ > 0 || !observersRemoved_) {
        return;
    }
    std::erase_if(observers_, [](const auto& entry) { return entry->removed; });
    observersRemoved_ = false;
}

void EventKeeper::setShowErrors(bool value) {
    announce(StoreField::showErrors);
    showErrors_ = value;
}

void EventKeeper::setShowLegend(bool value) {
    announce(StoreField::showLegend);
    showLegend_ = value;
}

void EventKeeper::loadJsonFile(std::string path) {
    executor_([this, path = std::move(path)] { runLoad(path); });
}

void EventKeeper::runLoad(const std::string& path) {
    // The whole load runs within this call. Reading and decoding run on a
    // helper thread, ahead of the filing; everything the store holds is
    // changed here, on the executor's thread, line by line in file order.
    LoadStats stats;
    auto reader = StreamReader::open(path);
    if (reader) {
        stats.opened = true;
        BatchQueue queue;
        std::thread readingThread;
        try {
            readingThread = std::thread(readAndDecode, std::ref(*reader), std::ref(queue));
        } catch (const std::system_error&) {
            // No thread to be had: read, decode and file on this one.
            LineDecoder decoder;
            detail::LineBatch batch;
            while (auto line = reader->nextLine()) {
                if (line->valid) {
                    detail::describeLine(line->text,
                                         decoder.decodePadded(line->text.data(), line->text.size()),
                                         batch);
                } else {
                    detail::describeInvalidLine(line->text, batch);
                }
                stats.lines += 1;
                stats.bytes += line->text.size() + 1;
                fileLines(batch);
                batch.clear();
            }
            queue.finish();
        }
        try {
            while (auto batch = queue.takeFull()) {
                stats.lines += batch->lines.size();
                stats.bytes += batch->text.size() + batch->lines.size();
                fileLines(*batch);
                queue.giveBack(std::move(batch));
            }
        } catch (...) {
            queue.stop();
            if (readingThread.joinable()) {
                readingThread.join();
            }
            throw;
        }
        if (readingThread.joinable()) {
            readingThread.join();
        }
        reader->close();
    }
    buildProcessTree();
    lastLoad_ = stats;
}

void EventKeeper::ingestJsonLine(std::string_view line) {
    detail::LineBatch batch;
    detail::describeLine(line, decoder_->decode(line), batch);
    fileLines(batch);
}

void EventKeeper::ingestInvalidLine(std::string_view bytes) {
    detail::LineBatch batch;
    detail::describeInvalidLine(bytes, batch);
    fileLines(batch);
}

void EventKeeper::fileLines(const detail::LineBatch& batch) {
    using detail::LineKind;
    const std::string_view* names = detail::knownEventNames();
    // Every line's fresh id first, so that the map's slots can be fetched
    // while earlier lines are filed.
    constexpr std::size_t kAhead = 8;
    const std::size_t count = batch.lines.size();
    batchIds_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        batchIds_[i] = uuids_.next();
        if (i < kAhead) {
            jsonMapping_.prefetch(batchIds_[i]);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const detail::LineInfo& info = batch.lines[i];
        if (i + kAhead < count) {
            jsonMapping_.prefetch(batchIds_[i + kAhead]);
        }
        switch (info.kind) {
            case LineKind::invalidUtf8:
                announce(StoreField::loadErrors);
                loadErrors_.emplace_back(batch.resolve(info.error));
                continue;
            case LineKind::refused:
                announce(StoreField::loadErrors);
                loadErrors_.emplace_back(batch.lineText(info));
                continue;
            default:
                break;
        }
        const Uuid& id = batchIds_[i];
        const std::string_view stored = lines_.store(batch.lineText(info));
        // A decoded text is kept as a view into the stored line when the same
        // bytes occur in it (identical bytes are identical text, so any
        // occurrence will do); one with escapes is copied into strings_.
        auto keep = [&](const detail::TextRef& ref) -> std::string_view {
            const std::string_view text = batch.resolve(ref);
            if (text.empty()) {
                return {};
            }
            const void* hit = ::memmem(stored.data(), stored.size(), text.data(), text.size());
            if (hit != nullptr) {
                return {static_cast<const char*>(hit), text.size()};
            }
            return strings_.store(text);
        };
        switch (info.kind) {
            case LineKind::process: {
                const std::string_view path = keep(info.path);
                announce(StoreField::procPreviews);
                procPreviews_.push_back(ProcPreviewEntry{
                    id, names[info.event], keep(info.timestamp), info.pid, info.ppid, path});
                nodes_.emplace_back(Node::BorrowPath{}, id, path, info.pid, info.ppid);
                break;
            }
            case LineKind::file:
                announce(StoreField::filePreviews);
                filePreviews_.push_back(FilePreviewEntry{
                    id, names[info.event], keep(info.timestamp), info.pid, keep(info.path)});
                break;
            case LineKind::fileWithoutFile:
                announce(StoreField::loadErrors);
                loadErrors_.emplace_back(batch.resolve(info.error));
                break;
            default:
                break;
        }
        jsonMapping_.insertFresh(id, stored);
        isProcEntry_.push_back(info.kind == LineKind::process);
        isFileEntry_.push_back(info.kind == LineKind::file);
    }
}

}  // namespace korvantis
