#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "load/row_rule_hits.h"
#include "load/sequence_gaps.h"
#include "rules/lineage.h"
#include "rules/rule_event.h"
#include "store/filed_rows.h"
#include "tree/process_tree.h"

namespace korvantis {

// Why a log loaded while following is not followed.
enum class Unfollowed { compressed, standardInput, pipe, unopened };

class IndexCache;
class IndexFile;
class JournalReplay;
class LoadJournal;
class LogText;
struct RowTexts;
class StreamReader;
class RuleSet;
struct RuleHitSet;
namespace detail {
class DecodePipeline;
struct LineBatch;
struct LineInfo;
}  // namespace detail

// Figures of one load, as the store's thread last heard of them.
struct LoadFigures {
    std::uint64_t lines = 0;       // lines read so far
    std::uint64_t bytesRead = 0;   // bytes of the log read so far (compressed bytes if it is)
    std::uint64_t bytesTotal = 0;  // the log's size when it was opened
    // Bytes of text filed so far: of a compressed log, the bytes it
    // decompressed to, which go on long after its own bytes are all read.
    std::uint64_t textBytes = 0;
    bool compressed = false;
};

// One load on a thread of its own: reads, decodes and files the lines of one
// log into rows, which it hands to the store's thread in batches, then builds
// the process tree. It writes only what the store's thread does not read
// yet: the row texts beyond the rows handed over, the process tree, its own
// fields.
class LoadJob {
  public:
    using Task = std::function<void()>;
    // Runs a task on the store's thread, after those handed over before.
    using Post = std::function<void(Task)>;

    struct Sink {
        // The log could be opened: its descriptor (now owned by the sink),
        // or -1 and why it could not be kept open for reading lines again;
        // and the text to read its lines from when it is compressed or
        // received.
        std::function<void(int fd, int error, std::shared_ptr<const LogText> text)> opened;
        // Rows read since the last call (the sink empties them).
        std::function<void(const std::shared_ptr<FiledRows>& rows, const LoadFigures& figures)>
            rows;
        // The end: whether the log could be opened, whether the load was
        // cancelled, its figures and the new tree (nothing when it could not
        // be encoded).
        std::function<void(bool opened, bool cancelled, const LoadFigures& figures,
                           std::optional<ProcessTree::BuiltTree> tree)>
            finished;
    };

    // Where a load goes on reading a log it loaded before: the log's open
    // descriptor (not owned), the offset just after its last line loaded, the
    // lines loaded and its message numbers so far.
    struct Continuation {
        int fd = -1;
        std::uint64_t offset = 0;
        std::uint64_t lines = 0;
        SequenceGapCounter sequenceGaps;
        // The parents the log's lines told so far, for the rules.
        std::shared_ptr<Lineage> lineage;
        // The log's index when it holds what was loaded of the log up to
        // `indexedEnd`: its real path (else empty), and the rows read on
        // since it was last written (nothing when there are none).
        std::string indexedPath;
        std::uint64_t indexedEnd = 0;
        std::shared_ptr<LoadJournal> journal;
        // The rules were not tested on the rows loaded so far (they came
        // from the index), so no lineage was told: the rows read on owe
        // them too.
        bool rulesOwed = false;
    };
    struct Options {
        // A last line without its line feed waits (the log is followed).
        bool holdPartialLine = false;
        bool buildTree = true;
        // The process tree is fed the log's processes (else it is neither
        // fed nor built: nothing shows it).
        bool feedTree = true;
        // Reads what was appended to a loaded log (which is not added again).
        std::optional<Continuation> from;
        // The detection rules tested on the rows, if any.
        std::shared_ptr<const RuleSet> rules;
        // Where the log's index is looked for and written, if anywhere: a
        // plain log (not compressed, not a pipe, not followed under rules)
        // is read from its index when that matches it, from the index and
        // the log's new tail when the log only grew, and otherwise loaded
        // and indexed as it is. Rows read from an index owe the rules their
        // hits (see rulesOwed()).
        std::shared_ptr<IndexCache> index;
        // Adds to the tree the nodes of a log loaded before whose tree came
        // from its index (see owedTree()): run first when the tree is fed.
        std::function<void(ProcessTree&)> feedFirst;
    };

    // Starts at once. `logIndex` is the index the log will have among the
    // store's logs, `firstLine` the place its first stored line will have
    // among the store's lines (rows get their ids by it). `texts` and
    // `tree` belong to the loader and are used by one job at a time.
    LoadJob(std::string path, std::uint32_t logIndex, std::uint64_t firstLine, RowTexts& texts,
            ProcessTree& tree, Post post, Sink sink, Options options);
    // Stops reading (if not done yet) and waits for the thread.
    ~LoadJob();
    LoadJob(const LoadJob&) = delete;
    LoadJob& operator=(const LoadJob&) = delete;

    // Stops at the next line boundary; what was read is still handed over.
    void cancel();
    // Called on the store's thread once it has taken a batch of rows: the
    // job hands over only a few batches ahead of the store, and fills the
    // emptied batch again.
    void batchTaken(std::shared_ptr<FiledRows> rows);
    // Called on the store's thread when the store could not file a batch:
    // it keeps no line from `place` on, and the tree leaves out their nodes.
    void storeKeepsBelow(std::uint64_t place) {
        storeKeepsBelow_.store(place, std::memory_order_relaxed);
    }

    // Once finished: the offset just after the last line loaded, the log's
    // message numbers, and whether the log is a plain file that can be
    // read on when it grows.
    std::uint64_t textEnd() const { return textEnd_; }
    // Once finished: why the log could not be opened when the reason is
    // not the file's own (a spool that cannot be made); else empty.
    const std::string& openFailure() const { return openFailure_; }
    // Once finished: the load error of a load that stopped before the end
    // of its log and lost the rest ("Loading stopped at line N: out of
    // memory"), which was also handed over as a load error; else empty.
    const std::string& stopped() const { return stopped_; }
    // The load error of a line too long to be kept, `length` bytes long.
    static std::string tooLongText(std::uint64_t length);
    // The load error of a load stopped at `line` for `reason`.
    static std::string stoppedText(std::uint64_t line, std::string_view reason);
    // The load error of a load stopped by an allocation that failed.
    static std::string outOfMemoryText(std::uint64_t line);
    // Once finished: why the log's index could not be used or written, in
    // a line ("NAME changed since it was indexed; it is loaded afresh");
    // else empty.
    const std::string& indexNotice() const { return indexNotice_; }
    // Once finished: whether the rows came from the log's index (all of
    // them, or all but those of its new tail).
    bool fromIndex() const { return fromIndex_; }
    // Once finished: whether the load had rules but tested none of its rows
    // on them: an index holds no hits, and the lineage the rules need is
    // told only by reading every line, so the rows are to be rescanned.
    bool rulesOwed() const { return rulesOwed_; }
    // Once finished: the log's real path when its index holds what was
    // loaded of it up to indexedEnd() (else empty), and the rows loaded
    // after that, to be written with the index's next extension.
    std::string indexedPath() const { return indexed_ ? realPath_ : std::string(); }
    std::uint64_t indexedEnd() const { return indexedEnd_; }
    const std::shared_ptr<LoadJournal>& unsavedJournal() const { return journal_; }
    // Once finished: when the tree came whole from the log's index, what
    // adds the log's nodes to the loader's tree, which does not hold them
    // (only a later load or a grown log needs them); else empty.
    const std::function<void(ProcessTree&)>& owedTree() const { return owedTree_; }
    const SequenceGapCounter& sequenceGaps() const { return sequenceGaps_; }
    const std::shared_ptr<Lineage>& lineage() const { return lineage_; }
    bool followable() const { return followable_; }
    // Why an opened log cannot be followed (when it cannot).
    std::optional<Unfollowed> unfollowed() const { return unfollowed_; }

  private:
    void run();
    std::unique_ptr<StreamReader> openReader(bool& followable);
    // Reads what the log's index holds of it, when it holds something;
    // what is left to read of the log (nothing: the index held it all).
    // Starts the log's new index when one is to be written.
    std::unique_ptr<StreamReader> readIndex(std::unique_ptr<StreamReader> reader,
                                            LoadFigures& figures);
    // A followed log's index: the journal its new lines are added to, when
    // the index holds what was loaded of the log before.
    void continueIndex();
    // A journal for a load that writes its index afresh: into a draft of
    // that index, when one can be made; the log's first line at the
    // store's place `firstLine`.
    std::unique_ptr<LoadJournal> newJournal(IndexCache& cache, std::uint64_t firstLine);
    // Hands over the log's first lines, read from the log, while its index
    // (from `cache`) is checked, so that a window shows rows at once; only
    // when the index's header says it is of the log as it is. False when
    // there is no preview.
    bool previewWhileChecked(int fd, const IndexCache& cache, LoadFigures& figures);
    // Whether the rows `mapped` from the index begin with the preview's
    // (its lines, errors and gaps): then the preview's errors and gaps are
    // taken out of `first`, the batch that hands the mapped rows over.
    bool previewHeldBy(const MappedRows& mapped, FiledRows& first) const;
    // Whether the index of a followed log is to be written again now: at
    // once while it is small, and else once the log grew by a part of what
    // the index holds, so that the writing costs a bounded part of the
    // following.
    bool indexDue() const;
    // Hands the rows of an index over as a load would.
    void replay(JournalReplay& replay, LoadFigures& figures);
    // The same with the rows read in place from `file`, for a store that
    // holds no lines yet, or the preview's alone: then false, and nothing
    // handed over, when the index's first rows are not the preview's.
    bool replayInPlace(std::unique_ptr<IndexFile> file, JournalReplay& replay,
                       LoadFigures& figures);
    // The index of what was loaded, once the log's end was reached, with
    // `tree` when it is the log's alone.
    void saveIndex(int fd, const LoadFigures& figures,
                   const std::optional<ProcessTree::BuiltTree>* tree);
    // Whether a log read from its index in place can show the tree the
    // index keeps: then taken into keptTree_.
    void takeKeptTree(const std::shared_ptr<const IndexFile>& file);
    // Waits until the store's thread has taken every batch; false when the
    // store's side is going away.
    bool storeTookAll();
    // The tree of every node the store keeps, if it is to be built.
    std::optional<ProcessTree::BuiltTree> buildTree(LoadFigures& figures);
    // The reading, decoding and filing threads over the log, until its end.
    void readLog(StreamReader& reader, LoadFigures& figures);
    // On this thread: the decoded batches in reading order, handed over as
    // rows every so often.
    void takeDecodedBatches(detail::DecodePipeline& pipeline, const StreamReader& reader,
                            FiledRows& rows, LoadFigures& figures);
    // A decoded batch's lines as rows, errors and tree nodes, all or none.
    void addBatch(const detail::LineBatch& batch, FiledRows& rows, LoadFigures& figures);
    void addRows(const detail::LineBatch& batch, FiledRows& rows, LoadFigures& figures);
    // One usable line's row (if any) at `place`; what kind of line it is.
    std::optional<RowKind> addRow(const detail::LineBatch& batch, const detail::LineInfo& info,
                                  std::uint64_t place, const LoadErrorOrigin& origin,
                                  FiledRows& rows);
    // The rules a row line matches, its lineage known; notes what the line
    // tells of lineage.
    const RuleHitSet* ruleHits(const detail::LineBatch& batch, const detail::LineInfo& info);
    void handOver(FiledRows& rows, const LoadFigures& figures);
    // Counts a line's message number; a new gap goes with `rows`.
    void countSequence(std::uint64_t line, std::int64_t number, FiledRows& rows);
    // Stops the load for `reason` at the first line not handed over, told
    // as a load error of that line ("Loading stopped at line N: reason;
    // …").
    void stopAt(LoadFigures& figures, std::string_view reason);
    // Posts the end to the store's thread.
    void postEnd();

    std::string path_;
    std::uint32_t logIndex_;
    RowTexts& texts_;
    ProcessTree& tree_;
    std::uint64_t nextLine_;
    Post post_;
    Sink sink_;
    SequenceGapCounter sequenceGaps_;  // of this log, fed on the filing thread
    Options options_;
    std::shared_ptr<const RuleSet> rules_;  // set when there are rules
    std::shared_ptr<Lineage> lineage_ =
        std::make_shared<Lineage>();      // of this log, fed on the filing thread
    std::optional<RowRuleHits> rowHits_;  // made on the filing thread
    std::uint64_t textEnd_ = 0;
    // Of the log's lines and of the store's places: how far the rows handed
    // over reach.
    std::uint64_t handedLines_ = 0;
    std::uint64_t handedPlace_ = 0;
    // The load stopped with lines whose nodes may be in the tree not handed
    // over.
    bool cutTree_ = false;
    static constexpr std::uint64_t kKeepsAll = UINT64_MAX;
    std::atomic<std::uint64_t> storeKeepsBelow_{kKeepsAll};
    bool followable_ = false;
    std::optional<Unfollowed> unfollowed_;
    std::string openFailure_;
    std::string stopped_;
    static constexpr std::string_view kOutOfMemory = "out of memory";
    static constexpr std::size_t kStopRoom = 256;  // for stopped_
    // The end as the store's thread hears of it, in a task made at the start.
    struct End {
        bool opened = false;
        bool cancelled = false;
        LoadFigures figures;
        std::optional<ProcessTree::BuiltTree> tree;
    };
    std::shared_ptr<End> end_;
    Task endTask_;
    std::shared_ptr<LoadJournal> journal_;          // while an index is being written
    std::shared_ptr<const MappedRows> mappedRows_;  // what the tree's paths point into
    std::string realPath_;                          // of the log, when it is indexed
    bool indexed_ = false;                          // the index holds the log up to indexedEnd_
    std::uint64_t indexedEnd_ = 0;
    std::string indexNotice_;
    bool fromIndex_ = false;
    bool rulesOwed_ = false;
    // The tree holds this log's nodes alone, placed at its own lines: it is
    // kept in the log's index when one is written.
    bool treeOfLogAlone_ = false;
    std::optional<ProcessTree::BuiltTree> keptTree_;  // read from the index
    // While the first lines are handed over as a preview, and copies of the
    // batches that were (see previewWhileChecked()).
    bool previewing_ = false;
    std::vector<FiledRows> preview_;
    std::function<void(ProcessTree&)> owedTree_;

    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::condition_variable taken_;
    int batchesOut_ = 0;                             // handed over, not yet taken
    std::vector<std::shared_ptr<FiledRows>> spare_;  // taken, emptied, for reuse
    bool abandoned_ = false;                         // the store's side is going away
    bool filed_ = false;  // every row is handed over: taken batches are freed, not kept
    std::thread thread_;
};

}  // namespace korvantis
