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

// What the top bar shows of the loads of a window.
struct LoadProgress {
    bool running = false;
    std::string fileName;    // of the running load
    LoadFigures figures;     // of the running load
    std::size_t queued = 0;  // loads waiting after the running one
    // The lines the last finished load had read, when it was cancelled.
    std::optional<std::uint64_t> cancelledAfter;
    // "Could not open NAME: reason" for the last log that could not be
    // opened, until loads are asked for again after all have run.
    std::string openFailure;
    // Why following a log stopped ("NAME was truncated; following stopped
    // at line N"), one per log, in the order it happened.
    std::vector<std::string> followNotices;
};

// How a load ended.
struct LoadOutcome {
    std::string path;
    bool opened = false;
    bool cancelled = false;
    LoadFigures figures;
    std::string openFailure;  // when not opened: "Could not open NAME: reason"
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
    // are not followed; a pipe is read to its end anyway.
    void setFollowing(bool on);
    bool following() const { return following_; }
    // The tree is built again at most this often while logs grow.
    static constexpr std::chrono::milliseconds kTreeEvery{1000};

    const LoadProgress& progress() const { return progress_; }
    // No load running or waiting (of those that reached the store's thread).
    bool idle() const { return !job_ && queue_.empty(); }
    const std::vector<LoadOutcome>& outcomes() const { return outcomes_; }
    // The nodes of every load so far; only while idle.
    const ProcessTree& processTree() const { return tree_; }
    // Whether each load's tree build also makes the tree window's facts
    // (EventStore::jsonTreeFacts); on by default. Only while idle.
    void setTreeFactsWanted(bool wanted) { tree_.setFactsWanted(wanted); }

  private:
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
    void startNext();
    void opened(int fd, int error, std::shared_ptr<const LogText> text);
    void rowsArrived(const std::shared_ptr<FiledRows>& rows, const LoadFigures& figures);
    void finished(bool opened, bool cancelled, const LoadFigures& figures,
                  std::optional<ProcessTree::BuiltTree> tree);

    EventStore& store_;
    StoreObservers& observers_;
    Post post_;
    std::deque<Queued> queue_;
    std::string runningPath_;
    std::uint32_t runningLog_ = 0;
    std::optional<std::size_t> runningFollow_;  // when the job is a continuation
    std::vector<FollowedLog> followed_;
    bool following_ = false;
    bool treeStale_ = false;  // rows were added since the tree was last built
    std::chrono::steady_clock::time_point lastTree_{};
    std::unique_ptr<LoadJob> job_;
    ProcessTree tree_;  // used by the running job only
    LoadProgress progress_;
    std::vector<LoadOutcome> outcomes_;
    std::unique_ptr<LogWatch> watch_;  // while following
};

}  // namespace korvantis
