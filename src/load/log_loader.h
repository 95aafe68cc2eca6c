#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "load/followed_log.h"
#include "load/load_job.h"
#include "load/log_watch.h"
#include "store/store_observers.h"
#include "tree/process_tree.h"

namespace korvantis {

class EventStore;
class IndexCache;

// What the top bar shows of the loads of a window.
struct LoadProgress {
    bool running = false;
    std::string fileName;    // of the running load
    LoadFigures figures;     // of the running load
    std::size_t queued = 0;  // loads waiting after the running one
    // The lines the last finished load had read, when it was cancelled.
    std::optional<std::uint64_t> cancelledAfter;
    std::size_t cancelledQueued = 0;  // loads dropped from the queue by that cancel
    // "Could not open NAME: reason" for the last log that could not be
    // opened, until loads are asked for again after all have run.
    std::string openFailure;
    // Why following a log stopped ("NAME was truncated; following stopped
    // at line N"), or why a log is not followed ("NAME is compressed; it is
    // not followed"), one per log, in the order it happened.
    std::vector<std::string> followNotices;
    // Loads that stopped before the end of their log, losing the rest
    // ("NAME: Loading stopped at line N: out of memory; …"), in order.
    std::vector<std::string> stopNotices;
    // Logs whose index could not be used or written ("NAME changed since it
    // was indexed; it is loaded afresh"), in order.
    std::vector<std::string> indexNotices;
};

// How a load ended.
struct LoadOutcome {
    std::string path;
    bool opened = false;
    bool cancelled = false;
    LoadFigures figures;
    std::string openFailure;  // when not opened: "Could not open NAME: reason"
    // When the load stopped before the log's end and lost the rest: its
    // load error ("Loading stopped at line N: out of memory; …").
    std::string stopped;
    // Why the log's index could not be used or written; else empty.
    std::string indexNotice;
    // Whether its rows came from its index.
    bool fromIndex = false;
};

// Loads logs into a store, one at a time in the order asked, each on a
// worker thread, handing the store finished rows on the store's thread; it
// owns the queue of loads, the progress, cancelling, and the process tree
// the loads build. A log that cannot be opened is told in the progress and
// as a load error, and the next one loads. Used on the store's thread, except
// loadJsonFile().
class LogLoader {
  public:
    using Task = LoadJob::Task;
    using Post = LoadJob::Post;

    // `post` runs tasks on the store's thread in the order given.
    LogLoader(EventStore& store, StoreObservers& observers, Post post);
    // Stops the running load and drops the queued ones.
    ~LogLoader();
    LogLoader(const LogLoader&) = delete;
    LogLoader& operator=(const LogLoader&) = delete;

    // Loads the log at `path` after the loads asked for before. Returns at
    // once; may be called from any thread.
    void loadJsonFile(std::string path);
    // Stops the running load at a line boundary, keeping what it read, and
    // drops the queued loads.
    void cancel();

    // While on, each log loaded is followed after its load: complete lines
    // appended to it later are loaded as they come, and a last line without
    // its line feed waits for it. A log that shrinks, or whose path comes to
    // name another file, stops being followed with a notice. Compressed logs
    // are not followed, nor pipes (read to their end anyway) or logs that
    // could not be opened: a notice names each.
    void setFollowing(bool on);
    bool following() const { return following_; }
    // Whether some loaded log is still followed: false once following each
    // one has stopped (or before any was loaded).
    bool followsSomeLog() const;
    // The tree is built again at most this often while logs grow.
    static constexpr std::chrono::milliseconds kTreeEvery{1000};

    const LoadProgress& progress() const { return progress_; }
    // No load running or waiting (of those that reached the store's thread).
    bool idle() const { return !job_ && queue_.empty(); }
    const std::vector<LoadOutcome>& outcomes() const { return outcomes_; }
    // How many loads so far (first ones and follows' reads on) had rules but
    // filed their rows without their hits (see LoadJob::rulesOwed()): while
    // it grows, the store's rows are to be rescanned under the rules.
    std::size_t loadsOwingRules() const { return loadsOwingRules_; }
    // The nodes of every load so far; only while idle. A log read from its
    // index with the tree the index keeps adds its nodes at the next load
    // that feeds the tree.
    const ProcessTree& processTree() const { return tree_; }
    // Whether each load's tree build also makes the tree window's facts
    // (EventStore::jsonTreeFacts); on by default. Only while idle.
    void setTreeFactsWanted(bool wanted) { tree_.setFactsWanted(wanted); }
    // Whether the loads started from now on make the process tree at all;
    // on by default. Off, what only shows rows (an export) does not pay for
    // a tree nobody reads, and the store's tree stays empty.
    void setTreeWanted(bool wanted) { treeWanted_ = wanted; }
    // The detection rules tested on the rows of the loads started from now
    // on; none by default.
    void setRules(std::shared_ptr<const RuleSet> rules) { rules_ = std::move(rules); }
    // Where the loads started from now on read and write the logs'
    // indexes; none (nullptr, the default): logs are loaded, never indexed.
    void setIndexCache(std::shared_ptr<IndexCache> cache) { index_ = std::move(cache); }
    const std::shared_ptr<IndexCache>& indexCache() const { return index_; }

  private:
    std::shared_ptr<const RuleSet> rules_;
    std::shared_ptr<IndexCache> index_;
    bool treeWanted_ = true;
    // A log to load, or a followed log (its index in followed_) to read on.
    struct Queued {
        std::string path;
        std::optional<std::size_t> follow;
    };
    // Stands for no followed log: a continuation that only builds the tree.
    static constexpr std::size_t kTreeOnly = SIZE_MAX;

    void enqueue(std::string path);
    std::size_t loadsQueued() const;
    void startContinuation(std::size_t follow);
    void continuationFinished(const LoadFigures& figures,
                              std::optional<ProcessTree::BuiltTree> tree);
    void keepFollowable(const LoadFigures& figures);
    void checkFollowed();
    void queueContinuation(std::size_t follow);
    // Adds the notices of the logs not followed to the progress, while
    // following.
    void tellUnfollowed();
    void startNext();
    void startJob();
    // Out of memory to start the job with, or in its end.
    void notStarted();
    void notFinished(const LoadFigures& figures, bool outcomeTold);
    void continuationNotFinished(const LoadFigures& figures);
    void opened(int fd, int error, std::shared_ptr<const LogText> text);
    void rowsArrived(const std::shared_ptr<FiledRows>& rows, const LoadFigures& figures);
    void finished(bool opened, bool cancelled, const LoadFigures& figures,
                  std::optional<ProcessTree::BuiltTree> tree);
    // Files a batch of the running job; false when the store ran out of
    // memory for it, which stops the job.
    bool file(FiledRows& rows);
    // The load error of the running job's end, when it stopped early.
    std::string stoppedText() const;

    EventStore& store_;
    StoreObservers& observers_;
    Post post_;
    std::deque<Queued> queue_;
    std::string runningPath_;
    std::uint32_t runningLog_ = 0;
    std::optional<std::size_t> runningFollow_;  // when the job is a continuation
    std::vector<FollowedLog> followed_;
    std::vector<std::string> unfollowed_;  // notices of logs that cannot be followed
    std::size_t unfollowedTold_ = 0;       // of them, in the progress
    bool following_ = false;
    bool treeStale_ = false;  // rows were added since the tree was last built
    std::chrono::steady_clock::time_point lastTree_{};
    std::unique_ptr<LoadJob> job_;
    // The store could not take the running job's rows: "Loading stopped…".
    std::string storeStopped_;
    ProcessTree tree_;  // used by the running job only
    // Adds to tree_ the nodes of a log whose tree came from its index: run
    // by the next job that feeds the tree, on its thread.
    std::function<void(ProcessTree&)> owedTree_;
    void takeOwedTree(LoadJob::Options& options);
    LoadProgress progress_;
    std::vector<LoadOutcome> outcomes_;
    std::size_t loadsOwingRules_ = 0;
    std::size_t droppedQueued_ = 0;    // by the cancel of the running load
    std::unique_ptr<LogWatch> watch_;  // while following
};

}  // namespace korvantis
