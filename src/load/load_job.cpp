#include "load/load_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <system_error>
#include <utility>

#include "ingest/received_json.h"
#include "ingest/stream_reader.h"
#include "load/decode_pipeline.h"
#include "store/event_store.h"
#include "store/line_ref.h"
#include "tree/process_tree.h"

namespace korvantis {

namespace {

// Rows are handed over at least this often while a load runs, and at most
// this many batches wait for the store's thread.
constexpr auto kHandOverEvery = std::chrono::milliseconds(50);
constexpr std::size_t kHandOverLines = std::size_t{1} << 14;
constexpr int kBatchesOutAtMost = 4;
// The log is read in large pieces: at a few hundred bytes a line, reading
// a page at a time costs a system call for every dozen lines.
constexpr std::int64_t kReadSize = std::int64_t{256} << 10;

// The reading thread: reads the log in runs of whole lines and hands them on
// in batches until the end or a cancel. The decoding threads cut the lines
// and learn whether they are valid UTF-8 (the parse of a line checks it).
void readLines(StreamReader& reader, detail::DecodePipeline& pipeline,
               const std::atomic<bool>& cancelled) {
    try {
        std::uint64_t offset = 0;
        detail::DecodePipeline::Batch batch = pipeline.takeEmpty();
        auto handOn = [&] {
            // Padding after the last line, so that every line can be parsed
            // where it lies (the others are followed by the next line).
            batch->linesEnd = batch->text.size();
            batch->text.append(LineDecoder::kPadding, ' ');
            pipeline.pushRead(std::move(batch));
        };
        while (batch) {
            std::optional<std::string_view> run;
            if (!cancelled.load(std::memory_order_relaxed)) {
                run = reader.nextLines();
            }
            if (!run) {
                if (!batch->text.empty()) {
                    handOn();
                }
                break;
            }
            if (batch->text.empty()) {
                batch->fileOffset = offset;
            }
            batch->text.append(*run);
            offset += run->size();
            if (batch->text.size() >= detail::DecodePipeline::kBytes) {
                handOn();
                batch = pipeline.takeEmpty();
            }
        }
        pipeline.finishReading();
    } catch (...) {
        pipeline.finishReading(std::current_exception());
    }
}

// A decoding thread: decodes whole batches, any of them, keeps the rows'
// paths, and sums each line's bytes for the check when it is read again.
void decodeBatches(detail::DecodePipeline& pipeline, InternedTexts& paths) {
    try {
        LineDecoder decoder;
        std::vector<std::string_view> rowPaths;
        std::vector<std::string_view> storedPaths;
        std::vector<detail::LineInfo*> rowLines;
        while (detail::DecodePipeline::Batch batch = pipeline.takeRead()) {
            batch->cutLines();
            rowPaths.clear();
            rowLines.clear();
            for (std::size_t i = 0; i < batch->lines.size(); ++i) {
                detail::LineInfo& info = batch->lines[i];
                const std::string_view line = batch->lineText(info);
                info.checksum = lineChecksum(line);
                // A line the parser accepts is valid UTF-8 (the parser
                // checks); only a refused one needs checking on its own.
                const auto record = decoder.decodePadded(line.data(), line.size());
                if (record || StreamReader::isValidUtf8(line)) {
                    detail::describeRecord(record, info, *batch);
                    if (info.kind == detail::LineKind::process ||
                        info.kind == detail::LineKind::file) {
                        rowLines.push_back(&info);
                        detail::describeTime(info, *batch);
                    }
                } else {
                    detail::describeInvalid(info, *batch);
                }
            }
            // The whole batch's paths at once: far fewer waits on memory.
            // (Taken only now: the side text grows while lines are decoded.)
            for (const detail::LineInfo* info : rowLines) {
                rowPaths.push_back(batch->resolve(info->path));
            }
            storedPaths.resize(rowPaths.size());
            paths.internAll(rowPaths, storedPaths);
            for (std::size_t r = 0; r < rowLines.size(); ++r) {
                rowLines[r]->storedPath = storedPaths[r];
            }
            pipeline.pushDecoded(std::move(batch));
        }
    } catch (...) {
        pipeline.decodingFailed(std::current_exception());
    }
}

// Decoding threads beside the reading and filing ones: as many as there are
// cores, a few at most.
unsigned decodingThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

}  // namespace

LoadJob::LoadJob(std::string path, std::uint32_t logIndex, const LineIds& ids,
                 std::uint64_t firstLine, RowTexts& texts, ProcessTree& tree, Post post, Sink sink)
    : path_(std::move(path)),
      logIndex_(logIndex),
      texts_(texts),
      tree_(tree),
      ids_(ids),
      nextLine_(firstLine),
      post_(std::move(post)),
      sink_(std::move(sink)) {
    thread_ = std::thread(&LoadJob::run, this);
}

LoadJob::~LoadJob() {
    cancel();
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    taken_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LoadJob::cancel() {
    cancelled_.store(true, std::memory_order_relaxed);
}

void LoadJob::batchTaken(std::shared_ptr<FiledRows> rows) {
    {
        std::lock_guard lock(mutex_);
        --batchesOut_;
        if (!filed_) {
            rows->clear();  // keeps its room
            spare_.push_back(std::move(rows));
        }
    }
    taken_.notify_all();
}

void LoadJob::handOver(FiledRows& rows, const LoadFigures& figures) {
    std::shared_ptr<FiledRows> handed;
    {
        std::unique_lock lock(mutex_);
        taken_.wait(lock, [&] { return batchesOut_ < kBatchesOutAtMost || abandoned_; });
        if (abandoned_) {
            rows.clear();
            return;
        }
        ++batchesOut_;
        if (!spare_.empty()) {
            handed = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    // Batches go round between the two threads: their vectors keep their
    // room instead of growing anew for every hand-over.
    if (!handed) {
        handed = std::make_shared<FiledRows>();
    }
    std::swap(*handed, rows);
    post_([sink = sink_, handed, figures] { sink.rows(handed, figures); });
}

void LoadJob::run() {
    LoadFigures figures;
    bool opened = false;
    try {
        // One line feed ends a line, as LineBatch::cutLines() cuts them.
        if (auto reader = StreamReader::open(path_, "\n", kReadSize)) {
            opened = true;
            figures.bytesTotal = reader->sizeAtOpen();
            // The log stays open for reading its lines again later.
            const int fd = ::fcntl(reader->fileDescriptor(), F_DUPFD_CLOEXEC, 0);
            post_([sink = sink_, fd] { sink.opened(fd); });
            fileLog(*reader, figures);
            reader->close();
        }
    } catch (const std::exception&) {
        // Out of memory or threads: the load ends with what was filed.
    }
    {
        // The batches' room is not needed any more; freed before the tree
        // is built, it does not add to the load's peak of memory.
        std::lock_guard lock(mutex_);
        filed_ = true;
        spare_.clear();
        // Nobody waits for the tree of a window that is closing; building a
        // large one would only hold up the closing.
        if (abandoned_) {
            return;
        }
    }
    auto tree = std::make_shared<std::optional<ProcessTree::BuiltTree>>(tree_.build());
    post_([sink = sink_, opened, cancelled = cancelled_.load(), figures, tree] {
        sink.finished(opened, cancelled, figures, std::move(*tree));
    });
}

void LoadJob::fileLog(StreamReader& reader, LoadFigures& figures) {
    detail::DecodePipeline pipeline;
    std::vector<std::thread> threads;
    auto stopAll = [&] {
        pipeline.stop();
        for (std::thread& t : threads) {
            t.join();
        }
    };
    try {
        threads.emplace_back(readLines, std::ref(reader), std::ref(pipeline),
                             std::cref(cancelled_));
        for (unsigned i = 0; i < decodingThreads(); ++i) {
            threads.emplace_back(decodeBatches, std::ref(pipeline), std::ref(texts_.paths));
        }
    } catch (...) {
        stopAll();
        throw;
    }
    FiledRows rows;
    auto lastHandOver = std::chrono::steady_clock::now() - kHandOverEvery;
    try {
        while (auto batch = pipeline.takeDecoded()) {
            file(*batch, rows, figures);
            pipeline.giveBack(std::move(batch));
            const auto now = std::chrono::steady_clock::now();
            if (now - lastHandOver >= kHandOverEvery || rows.lines.size() >= kHandOverLines) {
                handOver(rows, figures);
                lastHandOver = now;
            }
        }
    } catch (...) {
        stopAll();
        handOver(rows, figures);
        throw;
    }
    for (std::thread& t : threads) {
        t.join();
    }
    handOver(rows, figures);
}

void LoadJob::file(const detail::LineBatch& batch, FiledRows& rows, LoadFigures& figures) {
    using detail::LineKind;
    using Kind = FiledRows::StoredLine::Kind;
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < batch.lines.size(); ++i) {
        if (i + kAhead < batch.lines.size() && batch.lines[i + kAhead].kind == LineKind::process) {
            tree_.prefetch(batch.lines[i + kAhead].pid, batch.lines[i + kAhead].ppid);
        }
        const detail::LineInfo& info = batch.lines[i];
        const std::uint64_t lineNumber = ++figures.lines;
        figures.bytesRead = std::min(info.fileOffset + info.length + 1, figures.bytesTotal);
        auto error = [&](std::string_view text) {
            rows.loadErrors.emplace_back(text);
            rows.loadErrorOrigins.push_back(LoadErrorOrigin{logIndex_, lineNumber});
        };
        const std::string_view line = batch.lineText(info);
        switch (info.kind) {
            case LineKind::invalidUtf8:
                error(batch.resolve(info.error));
                continue;
            case LineKind::refused:
                error(line);
                continue;
            default:
                break;
        }
        // The store gives rows their ids by place; only the tree keeps them.
        const std::uint64_t place = nextLine_++;
        Kind kind = Kind::other;
        switch (info.kind) {
            case LineKind::process: {
                const std::string_view path = info.storedPath;
                const Uuid id = ids_.idOf(place);
                rows.procPreviews.push_back(
                    ProcPreviewEntry{id, kEventKindNames[info.event],
                                     texts_.timestamps.store(batch.resolve(info.timestamp)),
                                     info.pid, info.ppid, path});
                rows.procPreviews.back().time = info.time;
                tree_.add(id, path, info.pid, info.ppid);
                kind = Kind::process;
                break;
            }
            case LineKind::file:
                rows.filePreviews.push_back(
                    FilePreviewEntry{Uuid{}, kEventKindNames[info.event],
                                     texts_.timestamps.store(batch.resolve(info.timestamp)),
                                     info.pid, info.storedPath});
                rows.filePreviews.back().time = info.time;
                kind = Kind::file;
                break;
            case LineKind::fileWithoutFile:
                error(batch.resolve(info.error));
                break;
            default:
                break;
        }
        rows.lines.push_back(
            FiledRows::StoredLine{LineRef{info.fileOffset, static_cast<std::uint32_t>(line.size()),
                                          logIndex_, info.checksum},
                                  kind, info.event});
    }
}

}  // namespace korvantis
