#include "load/load_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "decode/line_decoder.h"
#include "decode/path_name.h"
#include "decode/utf8_text.h"
#include "index/index_cache.h"
#include "index/journal_rows.h"
#include "index/load_journal.h"
#include "index/tree_section.h"
#include "input/stream_reader.h"
#include "load/decode_pipeline.h"
#include "load/line_reading.h"
#include "load/row_rule_hits.h"
#include "rules/rule_hit_sets.h"
#include "rules/rule_set.h"
#include "store/event_store.h"
#include "store/large_block.h"
#include "store/line_ref.h"
#include "tree/process_tree.h"

namespace korvantis {

namespace {

// Rows are handed over at least this often while a load runs, and at most
// this many batches wait for the store's thread.
constexpr auto kHandOverEvery = std::chrono::milliseconds(50);
constexpr std::size_t kHandOverLines = std::size_t{1} << 14;
// What a log's preview reads of it while its index is checked: enough rows
// for a window's lists, read in a few milliseconds.
constexpr std::uint64_t kPreviewBytes = std::uint64_t{2} << 20;
constexpr int kBatchesOutAtMost = 4;
// The reading thread reads the text straight into its batches, a batch at a
// time; the reader's own buffer of lines is left at its least.
constexpr std::int64_t kReaderChunk = StreamReader::kDefaultChunkSize;

// The type names of a batch's other rows, kept once each with the paths.
void internOtherTypes(detail::LineBatch& batch, RowTexts& texts) {
    thread_local std::vector<std::string_view> names;
    thread_local std::vector<std::string_view> stored;
    thread_local std::vector<std::uint32_t> ordinals;
    thread_local std::vector<detail::LineInfo*> lines;
    names.clear();
    lines.clear();
    for (detail::LineInfo& info : batch.lines) {
        if (info.kind == detail::LineKind::otherRow) {
            names.push_back(batch.resolve(info.type));
            lines.push_back(&info);
        }
    }
    stored.resize(names.size());
    ordinals.resize(names.size());
    texts.pathsAndTypes.internAll(names, stored, ordinals);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lines[i]->storedType = stored[i];
        lines[i]->ordinals.type = ordinals[i];
    }
}

// Decodes every line of `batch`, sums its bytes for the check when it is read
// again, and lists the lines that become rows.
void decodeLines(detail::LineBatch& batch, LineDecoder& decoder,
                 std::vector<detail::LineInfo*>& rowLines, const RuleSet* rules, RuleEvent& event) {
    rowLines.clear();
    for (detail::LineInfo& info : batch.lines) {
        if (info.kind == detail::LineKind::tooLong) {
            continue;
        }
        const std::string_view line = batch.lineText(info);
        info.checksum = lineChecksum(line);
        // A line the parser accepts is valid UTF-8 (the parser checks); only
        // a refused one needs checking on its own.
        const auto record = decoder.decodePadded(line.data(), line.size());
        info.sequence = decoder.sequenceNumber();
        if (!record && !isValidUtf8(line)) {
            detail::describeInvalid(info);
            continue;
        }
        detail::describeRecord(record, info, batch);
        if (info.kind == detail::LineKind::process || info.kind == detail::LineKind::file ||
            info.kind == detail::LineKind::otherRow) {
            rowLines.push_back(&info);
            detail::describeTime(info, batch);
            if (rules != nullptr) {
                detail::readRowRules(info, *record, decoder, batch, *rules, event);
            }
        }
    }
}

// Keeps the paths and facts of a batch's rows once in the store's texts.
// The whole batch's at once: far fewer waits on memory. (Taken only after
// decoding: the side text grows while lines are decoded.)
class RowTextKeeper {
  public:
    void keep(detail::LineBatch& batch, const std::vector<detail::LineInfo*>& rowLines,
              RowTexts& texts) {
        paths_.clear();
        facts_.clear();
        factLines_.clear();
        for (detail::LineInfo* info : rowLines) {
            paths_.push_back(batch.resolve(info->path));
            if (info->facts.length != 0) {
                facts_.push_back(batch.resolve(info->facts));
                factLines_.push_back(info);
            }
        }
        stored_.resize(paths_.size());
        ordinals_.resize(paths_.size());
        texts.pathsAndTypes.internAll(paths_, stored_, ordinals_);
        for (std::size_t r = 0; r < rowLines.size(); ++r) {
            rowLines[r]->storedPath = stored_[r];
            rowLines[r]->ordinals.path = ordinals_[r];
        }
        stored_.resize(facts_.size());
        ordinals_.resize(facts_.size());
        texts.facts.internAll(facts_, stored_, ordinals_);
        for (std::size_t r = 0; r < factLines_.size(); ++r) {
            factLines_[r]->storedFacts = stored_[r].data();
            factLines_[r]->ordinals.facts = ordinals_[r];
        }
        internOtherTypes(batch, texts);
    }

  private:
    std::vector<std::string_view> paths_;
    std::vector<std::string_view> facts_;
    std::vector<std::string_view> stored_;
    std::vector<std::uint32_t> ordinals_;
    std::vector<detail::LineInfo*> factLines_;
};

// A decoding thread: decodes whole batches, any of them.
void decodeBatches(detail::DecodePipeline& pipeline, RowTexts& texts, const RuleSet* rules) {
    try {
        LineDecoder decoder;
        RowTextKeeper keeper;
        RuleEvent event;
        std::vector<detail::LineInfo*> rowLines;
        while (detail::DecodePipeline::Batch batch = pipeline.takeRead()) {
            batch->cutLines();
            decodeLines(*batch, decoder, rowLines, rules, event);
            keeper.keep(*batch, rowLines, texts);
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

LoadJob::LoadJob(std::string path, std::uint32_t logIndex, std::uint64_t firstLine, RowTexts& texts,
                 ProcessTree& tree, Post post, Sink sink, Options options)
    : path_(std::move(path)),
      logIndex_(logIndex),
      texts_(texts),
      tree_(tree),
      nextLine_(firstLine),
      post_(std::move(post)),
      sink_(std::move(sink)),
      options_(std::move(options)) {
    handedPlace_ = firstLine;
    // What a stop and the end need is had now, while there is memory.
    stopped_.reserve(kStopRoom);
    end_ = std::make_shared<End>();
    endTask_ = [sink = sink_, end = end_] {
        sink.finished(end->opened, end->cancelled, end->figures, std::move(end->tree));
    };
    // Rules without any rule cost nothing.
    if (options_.rules && !options_.rules->empty()) {
        rules_ = options_.rules;
    }
    treeOfLogAlone_ = firstLine == 0 && !options_.from && tree_.nodes().size() == 0 &&
                      options_.feedTree && options_.buildTree && !options_.feedFirst;
    if (options_.from && options_.from->rulesOwed && rules_) {
        // Without the lineage of the lines before, the rows read on would
        // get other hits than a load of the whole log gives them.
        rules_.reset();
        rulesOwed_ = true;
    }
    if (options_.from) {
        sequenceGaps_ = options_.from->sequenceGaps;
        if (options_.from->lineage) {
            lineage_ = options_.from->lineage;
        }
        textEnd_ = options_.from->offset;
    }
    try {
        thread_ = std::thread(&LoadJob::run, this);
    } catch (const std::exception& e) {
        // Without a thread to read on (no memory or no threads left), the log
        // is not opened, and says why.
        const auto* system = dynamic_cast<const std::system_error*>(&e);
        openFailure_ = system ? system->code().message() : std::string("out of memory");
        owedTree_ = std::move(options_.feedFirst);  // still to be fed
        {
            std::lock_guard lock(mutex_);
            filed_ = true;
        }
        post_(std::move(endTask_));
    }
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
            try {
                spare_.push_back(std::move(rows));
            } catch (const std::bad_alloc&) {
                // Only kept for reuse: a new one is made instead.
            }
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
    bool swapped = false;
    try {
        if (!handed) {
            handed = std::make_shared<FiledRows>();
        }
        rows.firstLine = handedLines_ + 1;
        rows.preview = previewing_;
        std::swap(*handed, rows);
        swapped = true;
        if (previewing_) {
            preview_.push_back(*handed);  // before the store's thread may take it
        }
        if (journal_) {
            journal_->add(*handed);  // before the store's thread may take it
        }
        post_([sink = sink_, handed, figures] { sink.rows(handed, figures); });
    } catch (...) {
        // Not handed over: the rows stay for another try, and the batch out
        // is not counted.
        if (swapped) {
            std::swap(*handed, rows);
        }
        {
            std::lock_guard lock(mutex_);
            --batchesOut_;
        }
        // The index may hold part of the batch, or all of it twice after
        // another try: this load writes none.
        journal_.reset();
        indexed_ = false;
        throw;
    }
    handedLines_ = figures.lines;
    handedPlace_ = nextLine_;
}

std::unique_ptr<StreamReader> LoadJob::openReader(bool& followable) {
    // One line feed ends a line, as LineBatch::cutLines() cuts them.
    if (options_.from) {
        followable = true;
        return StreamReader::resume(options_.from->fd, options_.from->offset, "\n", kReaderChunk);
    }
    auto reader = StreamReader::openLog(path_, "\n", kReaderChunk, &cancelled_, &openFailure_);
    if (!reader) {
        return nullptr;
    }
    // A compressed log is not followed, nor is a pipe, which is read to its
    // end anyway.
    followable =
        !reader->compressed() && !reader->logText() && path_ != StreamReader::kStandardInput;
    if (reader->compressed()) {
        unfollowed_ = Unfollowed::compressed;
    } else if (path_ == StreamReader::kStandardInput) {
        unfollowed_ = Unfollowed::standardInput;
    } else if (reader->logText()) {
        unfollowed_ = Unfollowed::pipe;
    }
    if (followable && options_.holdPartialLine) {
        reader->holdPartialLine();
    }
    // The log stays open for reading its lines again later.
    const int fd = ::fcntl(reader->fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    const int error = fd < 0 ? errno : 0;
    try {
        post_(
            [sink = sink_, fd, error, text = reader->logText()] { sink.opened(fd, error, text); });
    } catch (...) {
        if (fd >= 0) {
            ::close(fd);
        }
        throw;
    }
    return reader;
}

void LoadJob::run() {
    LoadFigures figures;
    bool opened = false;
    bool followable = false;
    std::optional<ProcessTree::BuiltTree> built;
    bool treeBuilt = false;
    try {
        if (options_.feedFirst && options_.feedTree) {
            options_.feedFirst(tree_);
        }
        if (auto reader = openReader(followable)) {
            opened = true;
            figures.bytesTotal = reader->sizeAtOpen();
            figures.compressed = reader->compressed();
            if (options_.from) {
                figures.lines = options_.from->lines;
                handedLines_ = figures.lines;
            } else {
                textEnd_ = reader->textStart();
            }
            if (options_.index) {
                if (options_.from) {
                    continueIndex();
                } else {
                    reader = readIndex(std::move(reader), figures);
                }
            }
            if (reader) {
                readLog(*reader, figures);
                // The tree kept in the index is the one the store shows:
                // built once the store took (or refused) every row.
                const bool keepTree = journal_ && treeOfLogAlone_;
                if (keepTree && !storeTookAll()) {
                    return;
                }
                const bool whole = !cancelled_.load() && stopped_.empty() &&
                                   storeKeepsBelow_.load(std::memory_order_relaxed) == kKeepsAll;
                if (journal_ && !whole) {
                    // The index would not hold what the store does.
                    journal_.reset();
                    indexed_ = false;
                } else if (journal_ && (!options_.from || indexDue())) {
                    if (keepTree) {
                        built = buildTree(figures);
                        treeBuilt = true;
                    }
                    saveIndex(reader->fileDescriptor(), figures, keepTree ? &built : nullptr);
                }
                reader->close();
            }
        }
    } catch (const std::exception& e) {
        // Out of memory, no thread could be started, or the like.
        std::string_view reason = e.what();
        std::string message;
        if (dynamic_cast<const std::bad_alloc*>(&e)) {
            reason = kOutOfMemory;
        } else if (const auto* system = dynamic_cast<const std::system_error*>(&e)) {
            try {
                message = system->code().message();
                reason = message;
            } catch (const std::bad_alloc&) {
                reason = kOutOfMemory;
            }
        }
        if (!opened) {
            openFailure_ = reason;
        } else {
            // What was handed over stays; the rest of the log is not there,
            // and the load says so. Nodes of lines not handed over may be
            // in the tree.
            cutTree_ = true;
            stopAt(figures, reason);
        }
    }
    followable_ = opened && followable;
    // The tree waits for the store to have taken every batch: one it could
    // not file leaves the nodes of its lines out of the tree. Nobody waits
    // for the tree of a window that is closing; building a large one would
    // only hold up the closing.
    if (!storeTookAll()) {
        return;
    }
    // The kept tree is of every row of the index: shown only when the
    // store holds them all.
    if (keptTree_ && !cutTree_ && storeKeepsBelow_.load(std::memory_order_relaxed) == kKeepsAll) {
        built = std::move(keptTree_);
    } else if (!treeBuilt) {
        built = buildTree(figures);
    }
    end_->opened = opened;
    end_->cancelled = cancelled_.load();
    end_->figures = figures;
    end_->tree = std::move(built);
    postEnd();
}

bool LoadJob::storeTookAll() {
    // The batches' room is not needed any more; freed before the tree is
    // built, it does not add to the load's peak of memory.
    std::unique_lock lock(mutex_);
    filed_ = true;
    spare_.clear();
    taken_.wait(lock, [&] { return batchesOut_ == 0 || abandoned_; });
    return !abandoned_;
}

std::optional<ProcessTree::BuiltTree> LoadJob::buildTree(LoadFigures& figures) {
    try {
        if (owedTree_) {
            keptTree_.reset();
            std::exchange(owedTree_, {})(tree_);
        }
        const std::uint64_t storeKeeps = storeKeepsBelow_.load(std::memory_order_relaxed);
        if (cutTree_ || storeKeeps != kKeepsAll) {
            tree_.dropFrom(std::min(handedPlace_, storeKeeps));
        }
        if (options_.buildTree && options_.feedTree) {
            return tree_.build();
        }
    } catch (const std::bad_alloc&) {
        // Told as a tree that could not be made.
        if (stopped_.empty()) {
            stopAt(figures, kOutOfMemory);
        }
    }
    return std::nullopt;
}

void LoadJob::postEnd() {
    // The task was made when the job began: out of memory now, only the
    // posting itself can fail, and it is tried again as memory comes back
    // (the store's thread frees batches as it files them), for the store
    // must hear of the end.
    constexpr auto kLongestWait = std::chrono::milliseconds(10);
    for (auto wait = std::chrono::milliseconds(1);; wait = std::min(wait * 2, kLongestWait)) {
        try {
            post_(std::move(endTask_));
            return;
        } catch (const std::bad_alloc&) {
        }
        std::unique_lock lock(mutex_);
        if (taken_.wait_for(lock, wait, [&] { return abandoned_; })) {
            return;
        }
    }
}

std::unique_ptr<StreamReader> LoadJob::readIndex(std::unique_ptr<StreamReader> reader,
                                                 LoadFigures& figures) {
    IndexCache& cache = *options_.index;
    // A compressed log's or a pipe's text is not the file's. Rule hits are
    // not kept in an index, nor the lineage they need: a log followed
    // under rules is read whole, so that the lines it reads on have theirs.
    if ((rules_ && options_.holdPartialLine) || reader->compressed() || reader->logText() ||
        path_ == StreamReader::kStandardInput) {
        return reader;
    }
    const auto realPath = IndexCache::realPathOf(path_);
    if (!realPath || cache.indexingOff(*realPath)) {
        return reader;
    }
    realPath_ = *realPath;
    const int fd = reader->fileDescriptor();
    // The lines and texts are gone through as the file is checked: a
    // reopening reads each byte of the index once.
    const bool inPlace = nextLine_ == 0;
    JournalScan scan(inPlace);
    const bool previewed = inPlace && previewWhileChecked(fd, cache, figures);
    IndexCache::Lookup lookup = cache.find(realPath_, true, scan.scans());
    std::string whyNot = lookup.whyNot;
    if (lookup.state == IndexCache::Lookup::State::found) {
        const IdentityMatch match = matchLog(lookup.file->identity(), fd);
        std::optional<JournalReplay> journal;
        if (previewed && match != IdentityMatch::same) {
            // The preview's rows are not where a grown log's rows go.
            whyNot = "the log changed while the index was checked";
        } else if (match != IdentityMatch::changed) {
            journal = JournalReplay::read(*lookup.file, &whyNot,
                                          match == IdentityMatch::same && inPlace, &scan);
        }
        // Read on after the index only where its last line ended.
        if (journal && match == IdentityMatch::grown) {
            char last = 0;
            const std::uint64_t end = journal->end().textEnd;
            if (end == 0 || ::pread(fd, &last, 1, static_cast<off_t>(end - 1)) != 1 ||
                last != '\n') {
                journal.reset();
                whyNot = "its last line was written on";
            }
        }
        if (journal && match == IdentityMatch::same && inPlace) {
            // A preview's rows give way to the index's, read in place.
            if (!replayInPlace(std::move(lookup.file), *journal, figures)) {
                journal.reset();
                whyNot = "its first rows are not those of the log";
            }
        } else if (journal) {
            if (match == IdentityMatch::grown) {
                journal_ = newJournal(cache, nextLine_);
            }
            replay(*journal, figures);
        }
        if (journal) {
            fromIndex_ = true;
            if (rules_) {
                // The rows, and a new tail's too, are rescanned as a whole.
                rules_.reset();
                rulesOwed_ = true;
            }
            // Where a follow, or the tail, reads on.
            textEnd_ = journal->end().textEnd;
            indexed_ = match == IdentityMatch::same;
            indexedEnd_ = textEnd_;
            sequenceGaps_ = SequenceGapCounter(journal->counterGaps(), journal->end().lastSequence);
            if (match == IdentityMatch::same) {
                return nullptr;
            }
            auto tail = StreamReader::resume(fd, textEnd_, "\n", kReaderChunk);
            if (tail && options_.holdPartialLine) {
                tail->holdPartialLine();
            }
            reader->close();
            return tail;
        }
        indexNotice_ =
            logName(path_) +
            (match == IdentityMatch::changed ? std::string(" changed since it was indexed")
                                             : ": its index cannot be used (" + whyNot + ")") +
            "; it is loaded afresh";
    } else if (lookup.state == IndexCache::Lookup::State::unusable) {
        indexNotice_ =
            logName(path_) + ": its index cannot be used (" + whyNot + "); it is loaded afresh";
    }
    lookup.file.reset();
    const std::uint64_t first = previewed ? 0 : nextLine_;
    journal_ = newJournal(cache, first);
    if (!previewed) {
        return reader;
    }
    // The preview was the load's first part: the index gets its rows too,
    // and the log is read on after them.
    for (const FiledRows& rows : preview_) {
        journal_->add(rows);
    }
    preview_.clear();
    auto rest = StreamReader::resume(fd, textEnd_, "\n", kReaderChunk);
    if (!rest) {
        throw std::system_error(errno, std::generic_category());
    }
    rest->holdPartialLine(options_.holdPartialLine);
    reader->close();
    return rest;
}

std::unique_ptr<LoadJournal> LoadJob::newJournal(IndexCache& cache, std::uint64_t firstLine) {
    if (auto draft = cache.draft(realPath_)) {
        // The store's rows and texts are written to the index as they come:
        // their copies in memory may go out to the disk too.
        LargeBlock::keepInFolder(cache.folder());
        return std::make_unique<LoadJournal>(firstLine, cache.folder(), std::move(draft));
    }
    return std::make_unique<LoadJournal>(firstLine, cache.folder());
}

bool LoadJob::previewWhileChecked(int fd, const IndexCache& cache, LoadFigures& figures) {
    // Only where the index's header says it is of the log as it is now: a
    // rare damaged one is found by the check, and the load then goes on
    // after the preview.
    const std::optional<LogIdentity> recorded = IndexFile::headerIdentity(cache.pathFor(realPath_));
    if (!recorded || matchLog(*recorded, fd) != IdentityMatch::same) {
        return false;
    }
    auto head = StreamReader::resume(fd, textEnd_, "\n", kReaderChunk, textEnd_ + kPreviewBytes);
    if (!head) {
        return false;
    }
    // Rules are applied to every row afterwards either way (the rows the
    // index holds have no hits kept): the preview's lines are not put
    // through them twice.
    if (rules_) {
        rules_.reset();
        rulesOwed_ = true;
    }
    previewing_ = true;
    struct Off {
        bool& previewing;
        ~Off() { previewing = false; }
    } off{previewing_};
    readLog(*head, figures);
    return true;
}

bool LoadJob::previewHeldBy(const MappedRows& mapped, FiledRows& first) const {
    // The lines, each kind's rows, then the errors and gaps of the preview
    // must be where the index has its first ones.
    std::size_t line = 0, errors = 0, messages = 0, gaps = 0;
    PerKind<std::size_t> rows{};
    for (const FiledRows& batch : preview_) {
        for (const FiledRows::StoredLine& stored : batch.lines) {
            if (line >= mapped.lineCount() || mapped.lineRef(line) != stored.ref) {
                return false;
            }
            ++line;
        }
        for (const RowKind kind : kRowKinds) {
            rows[kind] += batch.rows[kind].size();
        }
        std::size_t message = 0;
        for (const FiledRows::Error& error : batch.errors) {
            if (errors >= first.errors.size()) {
                return false;
            }
            const FiledRows::Error& kept = first.errors[errors++];
            const std::string_view text =
                std::string_view(batch.errorMessages).substr(message, error.messageLength);
            message += error.messageLength;
            if (kept.origin.line != error.origin.line || kept.isLine != error.isLine ||
                kept.line != error.line ||
                std::string_view(first.errorMessages).substr(messages, kept.messageLength) !=
                    text) {
                return false;
            }
            messages += kept.messageLength;
        }
        for (const SequenceGap& gap : batch.sequenceGaps) {
            if (gaps >= first.sequenceGaps.size() || first.sequenceGaps[gaps] != gap) {
                return false;
            }
            ++gaps;
        }
    }
    for (const RowKind kind : kRowKinds) {
        if (mapped.rowCount(kind) < rows[kind]) {
            return false;
        }
    }
    // What the store has already.
    first.errors.erase(first.errors.begin(),
                       first.errors.begin() + static_cast<std::ptrdiff_t>(errors));
    first.errorMessages.erase(0, messages);
    first.sequenceGaps.erase(first.sequenceGaps.begin(),
                             first.sequenceGaps.begin() + static_cast<std::ptrdiff_t>(gaps));
    return true;
}

void LoadJob::continueIndex() {
    const Continuation& from = *options_.from;
    if (rules_ || from.indexedPath.empty() || from.fd < 0) {
        return;
    }
    realPath_ = from.indexedPath;
    indexedEnd_ = from.indexedEnd;
    if (from.journal) {
        journal_ = from.journal;
        journal_->continueAt(nextLine_);
        indexed_ = true;
        return;
    }
    IndexCache& cache = *options_.index;
    if (cache.indexingOff(realPath_)) {
        return;
    }
    IndexCache::Lookup lookup = cache.find(realPath_);
    if (lookup.state != IndexCache::Lookup::State::found ||
        matchLog(lookup.file->identity(), from.fd) == IdentityMatch::changed) {
        return;
    }
    // Only an index that ends where the load read on from is gone on from.
    std::optional<JournalReplay> journal = JournalReplay::read(*lookup.file);
    if (!journal || journal->end().textEnd != from.offset || journal->end().lines != from.lines ||
        journal->end().textEnd != indexedEnd_) {
        return;
    }
    journal_ =
        LoadJournal::extending(std::move(lookup.file), *journal, nextLine_, cache.folder(), texts_);
    indexed_ = true;
}

bool LoadJob::indexDue() const {
    constexpr std::uint64_t kAlwaysBelow = std::uint64_t{64} << 20;
    constexpr std::uint64_t kGrownPart = 16;
    return indexedEnd_ < kAlwaysBelow || textEnd_ - indexedEnd_ >= indexedEnd_ / kGrownPart;
}

void LoadJob::replay(JournalReplay& journal, LoadFigures& figures) {
    journal.keepTexts(texts_);
    FiledRows rows;
    const std::uint64_t first = nextLine_;
    std::uint64_t place = nextLine_;
    while (journal.next(rows, logIndex_, first, kHandOverLines, texts_)) {
        PerKind<std::size_t> next{};
        for (const FiledRows::StoredLine& line : rows.lines) {
            if (line.row) {
                const RowView& row = rows.rows[*line.row][next[*line.row]++];
                if (row.kind == RowKind::process && options_.feedTree) {
                    tree_.add(place, row.path, row.pid, row.ppid);
                }
            }
            ++place;
        }
        // As a read would have it at this batch's end, for a stop's line
        // and the tree's cut should the hand-over fail.
        figures.lines += rows.lines.size();
        nextLine_ = place;
        handOver(rows, figures);
    }
    nextLine_ = place;
    figures.lines = journal.end().lines;
    figures.textBytes = journal.end().textEnd;
    figures.bytesRead = std::min(figures.textBytes, figures.bytesTotal);
}

bool LoadJob::replayInPlace(std::unique_ptr<IndexFile> file, JournalReplay& journal,
                            LoadFigures& figures) {
    // The rows begin at the store's first place, a preview's too.
    const std::uint64_t first = 0;
    FiledRows rows;
    journal.next(rows, logIndex_, first, 0, texts_);  // the errors and gaps alone
    const JournalEnd end = journal.end();
    const std::shared_ptr<const IndexFile> index = std::move(file);
    auto journalRows = std::make_shared<const JournalRows>(index, std::move(journal), logIndex_);
    if (!preview_.empty()) {
        if (!previewHeldBy(*journalRows, rows)) {
            return false;
        }
        preview_.clear();
        // What the preview fed goes: the index's rows are all there is.
        if (options_.feedTree) {
            tree_.dropFrom(first);
        }
        sequenceGaps_ = SequenceGapCounter();
        rowHits_.reset();
        handedLines_ = 0;
        handedPlace_ = first;
    }
    nextLine_ = first;
    mappedRows_ = journalRows;
    rows.mapped = mappedRows_;
    nextLine_ += journalRows->lineCount();
    figures.lines = end.lines;
    // The rows first: the window shows them while the tree is made.
    handOver(rows, figures);
    if (options_.feedTree) {
        takeKeptTree(index);
        auto feed = [journalRows](ProcessTree& tree) {
            journalRows->eachProcess(
                [&](std::size_t line, std::string_view path, std::int64_t pid, std::int64_t ppid) {
                    tree.add(line, path, pid, ppid);  // the first line is the first place
                });
        };
        if (keptTree_) {
            owedTree_ = std::move(feed);
        } else {
            feed(tree_);
        }
    }
    figures.textBytes = end.textEnd;
    figures.bytesRead = std::min(figures.textBytes, figures.bytesTotal);
    return true;
}

void LoadJob::takeKeptTree(const std::shared_ptr<const IndexFile>& file) {
    if (!treeOfLogAlone_) {
        return;
    }
    const std::optional<KeptTree> kept = readTreeSection(*file);
    // Facts without the places asked for, or none where some are, are not
    // the tree this store would build.
    if (!kept || kept->withPlaces != tree_.placesInFacts() ||
        (tree_.factsWanted() && !kept->withFacts)) {
        return;
    }
    if (!file->intact()) {
        return;  // cut short since it was checked: zeros, not the tree
    }
    // Read in place, as the rows are: a copy of a large trace's tree took
    // longer than the rest of the reopening and as much memory as the store.
    keptTree_ = ProcessTree::BuiltTree{
        sharedTextIn(kept->json, file),
        tree_.factsWanted() ? sharedTextIn(kept->facts, file) : sharedText({})};
}

void LoadJob::saveIndex(int fd, const LoadFigures& figures,
                        const std::optional<ProcessTree::BuiltTree>* tree) {
    const auto stat = statOf(fd);
    if (!stat || stat->size + 1 < textEnd_) {
        journal_.reset();
        indexed_ = false;
        return;  // cut short while it was read
    }
    // The index holds the log up to its last line read; what came after
    // is a tail to read when it is opened again.
    LogStat covered = *stat;
    covered.size = std::min(covered.size, textEnd_);
    const auto identity = identityFrom(covered, checksumsOf(fd));
    if (!identity) {
        journal_.reset();
        indexed_ = false;
        return;
    }
    const JournalEnd end{textEnd_, figures.lines, sequenceGaps_.last()};
    std::string notice;
    if (!options_.index->save(
            realPath_, *identity,
            [&](IndexWriter& writer) {
                std::string why;
                if (!journal_->write(writer, end, &why)) {
                    writer.fail(why);
                }
                if (tree != nullptr && *tree) {
                    const ProcessTree::BuiltTree& built = **tree;
                    writeTreeSection(writer, KeptTree{*built.json, *built.facts,
                                                      tree_.factsWanted(), tree_.placesInFacts()});
                }
            },
            &notice, journal_->draft())) {
        indexNotice_ = notice;
        indexed_ = false;
    } else {
        indexed_ = true;
        indexedEnd_ = textEnd_;
    }
    journal_.reset();
}

void LoadJob::readLog(StreamReader& reader, LoadFigures& figures) {
    detail::DecodePipeline pipeline;
    std::vector<std::thread> threads;
    auto stopAll = [&] {
        pipeline.stop();
        for (std::thread& t : threads) {
            t.join();
        }
    };
    detail::LineReading reading{textEnd_, reader.live()};
    try {
        threads.emplace_back(detail::readLines, std::ref(reader), std::ref(pipeline),
                             std::cref(cancelled_), std::ref(reading));
        for (unsigned i = 0; i < decodingThreads(); ++i) {
            threads.emplace_back(decodeBatches, std::ref(pipeline), std::ref(texts_), rules_.get());
        }
    } catch (...) {
        stopAll();
        throw;
    }
    FiledRows rows;
    try {
        takeDecodedBatches(pipeline, reader, rows, figures);
    } catch (...) {
        stopAll();
        handOver(rows, figures);
        throw;
    }
    for (std::thread& t : threads) {
        t.join();
    }
    textEnd_ = reading.offset;
    if (const std::string stopped = reader.stopReason(); !stopped.empty()) {
        handOver(rows, figures);
        stopAt(figures, stopped);
        return;
    }
    if (const std::string notice = reader.notice(); !notice.empty()) {
        // About the whole log: its line 0.
        rows.errors.push_back(FiledRows::Error{{logIndex_, 0}, {}, notice.size(), false});
        rows.errorMessages += notice;
    }
    if (auto failure = reader.failure()) {
        // The line decoding stopped in stands for the rest of the log.
        const LoadErrorOrigin origin{logIndex_, ++figures.lines};
        rows.errors.push_back(FiledRows::Error{origin, {}, failure->size(), false});
        rows.errorMessages += *failure;
    }
    handOver(rows, figures);
}

std::string LoadJob::tooLongText(std::uint64_t length) {
    return "The line is " + std::to_string(length) + " bytes long, longer than the " +
           std::to_string(detail::kLongestLine) + " bytes a line may have; it is not loaded.";
}

std::string LoadJob::stoppedText(std::uint64_t line, std::string_view reason) {
    return "Loading stopped at line " + std::to_string(line) + ": " + std::string(reason) +
           "; the lines after it are not loaded.";
}

std::string LoadJob::outOfMemoryText(std::uint64_t line) {
    return stoppedText(line, kOutOfMemory);
}

void LoadJob::stopAt(LoadFigures& figures, std::string_view reason) {
    // The lines not handed over are not loaded: the stop stands in the
    // place of the first of them. Written into room had when the job
    // began: out of memory, the text must not need any.
    stopped_.clear();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, handedLines_ + 1).ptr;
    const std::string_view parts[] = {"Loading stopped at line ",
                                      std::string_view(digits, end - digits), ": ", reason,
                                      "; the lines after it are not loaded."};
    for (const std::string_view part : parts) {
        stopped_.append(part.substr(0, stopped_.capacity() - stopped_.size()));
    }
    figures.lines = handedLines_;
    // The stop hands over no row: rows added after the last hand-over that
    // got through (when a later one failed) never reached the store, and
    // the tree is cut where the store's rows end.
    const std::uint64_t handedPlace = handedPlace_;
    try {
        FiledRows rows;
        const LoadErrorOrigin origin{logIndex_, ++figures.lines};
        rows.errors.push_back(FiledRows::Error{origin, {}, stopped_.size(), false});
        rows.errorMessages = stopped_;
        handOver(rows, figures);
        handedPlace_ = handedPlace;
    } catch (const std::bad_alloc&) {
        // Still told by stopped().
    }
}

void LoadJob::takeDecodedBatches(detail::DecodePipeline& pipeline, const StreamReader& reader,
                                 FiledRows& rows, LoadFigures& figures) {
    auto lastHandOver = std::chrono::steady_clock::now() - kHandOverEvery;
    while (auto batch = pipeline.takeDecoded()) {
        addBatch(*batch, rows, figures);
        pipeline.giveBack(std::move(batch));
        if (reader.compressed()) {
            figures.bytesRead = reader.fileBytesRead();  // progress in compressed bytes
        }
        const auto now = std::chrono::steady_clock::now();
        if (reader.live() || now - lastHandOver >= kHandOverEvery ||
            rows.lines.size() + rows.errors.size() >= kHandOverLines) {
            handOver(rows, figures);
            lastHandOver = now;
        }
    }
}

void LoadJob::addBatch(const detail::LineBatch& batch, FiledRows& rows, LoadFigures& figures) {
    // All or nothing: a batch added in part (a row without its line) would
    // be handed over as if whole.
    const std::size_t lines = rows.lines.size();
    PerKind<std::size_t> kinds{};
    for (const RowKind kind : kRowKinds) {
        kinds[kind] = rows.rows[kind].size();
    }
    const std::size_t gaps = rows.sequenceGaps.size();
    const std::size_t errors = rows.errors.size();
    const std::size_t messages = rows.errorMessages.size();
    const LoadFigures before = figures;
    const std::uint64_t place = nextLine_;
    try {
        addRows(batch, rows, figures);
    } catch (...) {
        rows.lines.resize(lines);
        for (const RowKind kind : kRowKinds) {
            rows.rows[kind].resize(kinds[kind]);
        }
        rows.sequenceGaps.resize(gaps);
        rows.errors.resize(errors);
        rows.errorMessages.resize(messages);
        figures = before;
        nextLine_ = place;
        throw;
    }
}

void LoadJob::addRows(const detail::LineBatch& batch, FiledRows& rows, LoadFigures& figures) {
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < batch.lines.size(); ++i) {
        if (options_.feedTree && i + kAhead < batch.lines.size() &&
            batch.lines[i + kAhead].kind == detail::LineKind::process) {
            tree_.prefetch(batch.lines[i + kAhead].pid, batch.lines[i + kAhead].ppid);
        }
        const detail::LineInfo& info = batch.lines[i];
        const std::uint64_t lineNumber = ++figures.lines;
        const std::uint64_t length = batch.skipped != 0 ? batch.skipped : info.length;
        figures.textBytes = info.fileOffset + length + 1;
        figures.bytesRead = std::min(figures.textBytes, figures.bytesTotal);
        if (info.kind == detail::LineKind::tooLong) {
            const std::string message = tooLongText(length);
            rows.errors.push_back(
                FiledRows::Error{{logIndex_, lineNumber}, {}, message.size(), false, true});
            rows.errorMessages += message;
            continue;
        }
        if (info.sequence >= 0) {
            countSequence(lineNumber, info.sequence, rows);
        }
        const LineRef ref{info.fileOffset, static_cast<std::uint32_t>(info.length), logIndex_,
                          info.checksum};
        const LoadErrorOrigin origin{logIndex_, lineNumber};
        // A line that cannot be used is read back when its error is shown.
        if (info.kind == detail::LineKind::invalidUtf8 || info.kind == detail::LineKind::refused) {
            rows.errors.push_back(FiledRows::Error{origin, ref, 0, true});
            continue;
        }
        const std::optional<RowKind> kind = addRow(batch, info, nextLine_++, origin, rows);
        rows.lines.push_back(FiledRows::StoredLine{ref, kind, info.event});
    }
}

const RuleHitSet* LoadJob::ruleHits(const detail::LineBatch& batch, const detail::LineInfo& info) {
    if (!rules_) {
        return nullptr;
    }
    if (!rowHits_) {
        rowHits_.emplace(*rules_, *lineage_);
    }
    return rowHits_->of(batch, info, texts_.ruleHits);
}

std::optional<RowKind> LoadJob::addRow(const detail::LineBatch& batch, const detail::LineInfo& info,
                                       std::uint64_t place, const LoadErrorOrigin& origin,
                                       FiledRows& rows) {
    RowView row;
    row.ruleHits = ruleHits(batch, info);
    switch (info.kind) {
        case detail::LineKind::process:
            row.kind = RowKind::process;
            row.type = kEventKindNames[info.event];
            if (options_.feedTree) {
                tree_.add(place, info.storedPath, info.pid, info.ppid);
            }
            break;
        case detail::LineKind::file:
            row.kind = RowKind::file;
            row.type = kEventKindNames[info.event];
            break;
        case detail::LineKind::otherRow:
            row.kind = RowKind::other;
            row.type = info.storedType;
            break;
        case detail::LineKind::fileWithoutFile: {
            const std::string_view message = batch.resolve(info.error);
            rows.errors.push_back(FiledRows::Error{origin, {}, message.size(), false});
            rows.errorMessages.append(message);
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
    row.timestamp = texts_.timestamps.store(batch.resolve(info.timestamp));
    row.pid = info.pid;
    row.ppid = row.hasPpid() ? info.ppid : 0;
    row.path = info.storedPath;
    row.facts = RowFacts(info.storedFacts);
    row.time = info.time;
    rows.rows[row.kind].push_back(row);
    if (journal_) {
        rows.ordinals[row.kind].push_back(info.ordinals);  // what the index tells texts by
    }
    return row.kind;
}

void LoadJob::countSequence(std::uint64_t line, std::int64_t number, FiledRows& rows) {
    const std::size_t before = sequenceGaps_.gaps().size();
    sequenceGaps_.count(line, number);
    if (sequenceGaps_.gaps().size() != before) {
        SequenceGap gap = sequenceGaps_.gaps().back();
        gap.log = logIndex_;
        gap.entry = LinePlace(nextLine_);
        rows.sequenceGaps.push_back(gap);
    }
}

}  // namespace korvantis
