#include "load/log_loader.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <utility>

#include "decode/path_name.h"
#include "load/open_failure.h"
#include "store/event_store.h"

namespace korvantis {

LogLoader::LogLoader(EventStore& store, StoreObservers& observers, Post post)
    : store_(store), observers_(observers), post_(std::move(post)) {
    tree_.setPlacesInFacts(true);
}

LogLoader::~LogLoader() {
    watch_.reset();
    queue_.clear();
    job_.reset();
}

void LogLoader::loadJsonFile(std::string path) {
    post_([this, path = std::move(path)]() mutable { enqueue(std::move(path)); });
}

void LogLoader::enqueue(std::string path) {
    if (idle() && !progress_.openFailure.empty()) {
        observers_.announce(StoreField::loadProgress);
        progress_.openFailure.clear();
    }
    queue_.push_back(Queued{std::move(path), std::nullopt});
    if (!job_) {
        startNext();
    } else {
        observers_.announce(StoreField::loadProgress);
        progress_.queued = loadsQueued();
    }
}

std::size_t LogLoader::loadsQueued() const {
    std::size_t n = 0;
    for (const Queued& q : queue_) {
        n += !q.follow;
    }
    return n;
}

void LogLoader::cancel() {
    const bool loading = job_ && !runningFollow_;
    if (!loading && loadsQueued() == 0) {
        return;
    }
    // Reading on followed logs is no load of the user's: it goes on.
    droppedQueued_ = loadsQueued();
    std::erase_if(queue_, [](const Queued& q) { return !q.follow; });
    if (loading) {
        job_->cancel();
    }
    observers_.announce(StoreField::loadProgress);
    progress_.queued = 0;
}

void LogLoader::startNext() {
    observers_.announce(StoreField::loadProgress);
    if (queue_.empty()) {
        progress_.running = false;
        progress_.queued = 0;
        return;
    }
    Queued next = std::move(queue_.front());
    queue_.pop_front();
    if (next.follow) {
        progress_.running = false;
        progress_.queued = loadsQueued();
        runningFollow_ = next.follow;
        try {
            startContinuation(*next.follow);
        } catch (const std::bad_alloc&) {
            LoadFigures figures;
            if (*next.follow != kTreeOnly) {
                figures.lines = followed_[*next.follow].loaded.lines;
            }
            continuationNotFinished(figures);
        }
        return;
    }
    runningPath_ = std::move(next.path);
    progress_.running = true;
    progress_.fileName = logName(runningPath_);
    progress_.figures = LoadFigures{};
    progress_.queued = loadsQueued();
    progress_.cancelledAfter.reset();
    progress_.cancelledQueued = 0;
    droppedQueued_ = 0;
    storeStopped_.clear();
    try {
        startJob();
    } catch (const std::bad_alloc&) {
        notStarted();
    }
}

void LogLoader::startJob() {
    LoadJob::Sink sink;
    sink.opened = [this](int fd, int error, std::shared_ptr<const LogText> text) {
        opened(fd, error, std::move(text));
    };
    sink.rows = [this](const std::shared_ptr<FiledRows>& rows, const LoadFigures& figures) {
        rowsArrived(rows, figures);
    };
    sink.finished = [this](bool wasOpened, bool cancelled, const LoadFigures& figures,
                           std::optional<ProcessTree::BuiltTree> tree) {
        const std::size_t told = outcomes_.size();
        try {
            finished(wasOpened, cancelled, figures, std::move(tree));
        } catch (const std::bad_alloc&) {
            notFinished(figures, outcomes_.size() > told);
        }
    };
    // The log gets the next index among the store's logs: logs are added
    // only here, one load at a time.
    runningLog_ = static_cast<std::uint32_t>(store_.logFiles().size());
    LoadJob::Options options;
    options.holdPartialLine = following_;
    options.rules = rules_;
    options.index = index_;
    options.feedTree = treeWanted_;
    takeOwedTree(options);
    job_ = std::make_unique<LoadJob>(runningPath_, runningLog_, store_.lineRefs().size(),
                                     store_.rowTexts(), tree_, post_, std::move(sink),
                                     std::move(options));
}

void LogLoader::notStarted() {
    // Told as a log that could not be opened; the next one loads.
    job_.reset();
    try {
        const std::string name(lastPathComponent(runningPath_));
        std::string failure = "Could not open " + name + ": out of memory";
        store_.addLoadError(name, failure);
        observers_.announce(StoreField::loadProgress);
        progress_.openFailure = failure;
        LoadOutcome outcome;
        outcome.path = std::move(runningPath_);
        outcome.openFailure = std::move(failure);
        outcomes_.push_back(std::move(outcome));
    } catch (const std::bad_alloc&) {
        // Nothing more can be told.
    }
    startNext();
}

void LogLoader::notFinished(const LoadFigures& figures, bool outcomeTold) {
    // All its rows were filed or dropped before; when the end could not
    // tell all it had to (following, notices, the outcome), the load is
    // told as stopped, after its last line unless it stopped before.
    try {
        std::string stopped = stoppedText();
        if (stopped.empty()) {
            stopped = LoadJob::outOfMemoryText(figures.lines + 1);
        }
        job_.reset();
        if (!outcomeTold) {
            LoadOutcome outcome;
            outcome.path = runningPath_;
            outcome.opened = true;
            outcome.figures = figures;
            outcomes_.push_back(std::move(outcome));
        }
        outcomes_.back().stopped = stopped;
        observers_.announce(StoreField::loadProgress);
        progress_.stopNotices.push_back(logName(outcomes_.back().path) + ": " + stopped);
    } catch (const std::bad_alloc&) {
        // Nothing more can be told.
    }
    job_.reset();
    startNext();
}

void LogLoader::continuationNotFinished(const LoadFigures& figures) {
    // What was read on is filed, but where the log stands could not all be
    // kept: reading on from there might skip or repeat lines, so following
    // it stops, and says so.
    const std::size_t follow = runningFollow_.value_or(kTreeOnly);
    job_.reset();
    runningFollow_.reset();
    if (follow != kTreeOnly) {
        FollowedLog& f = followed_[follow];
        f.reading = false;
        f.stopped = true;
        try {
            observers_.announce(StoreField::loadProgress);
            progress_.stopNotices.push_back(logName(f.path) + ": " +
                                            LoadJob::outOfMemoryText(figures.lines + 1));
        } catch (const std::bad_alloc&) {
            // Nothing more can be told.
        }
    }
    startNext();
}

void LogLoader::opened(int fd, int error, std::shared_ptr<const LogText> text) {
    try {
        store_.addLog(fd, runningPath_, error, std::move(text));
        return;
    } catch (const std::bad_alloc&) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    // Without its log the store cannot keep the job's rows: the load stops
    // before its first line.
    storeStopped_ = LoadJob::outOfMemoryText(1);
    if (job_) {
        job_->storeKeepsBelow(store_.lineRefs().size());
        job_->cancel();
    }
    try {
        store_.addLoadError(lastPathComponent(runningPath_), storeStopped_);
    } catch (const std::bad_alloc&) {
        // Still told in the progress and the outcome.
    }
}

bool LogLoader::file(FiledRows& rows) {
    if (!storeStopped_.empty()) {
        rows.clear();  // what comes after the stop is not kept
        return false;
    }
    try {
        store_.append(rows);
        return true;
    } catch (const std::bad_alloc&) {
        rows.clear();
    }
    // The store is as it was before the batch (which it files whole or not
    // at all); the job stops, and the load tells where.
    const std::uint64_t line = rows.firstLine;
    storeStopped_ = LoadJob::outOfMemoryText(line);
    if (job_) {
        job_->storeKeepsBelow(store_.lineRefs().size());
        job_->cancel();
    }
    try {
        FiledRows stop;
        stop.errors.push_back(
            FiledRows::Error{LoadErrorOrigin{runningLog_, line}, {}, storeStopped_.size(), false});
        stop.errorMessages = storeStopped_;
        store_.append(stop);
    } catch (const std::bad_alloc&) {
        // Still told in the progress and the outcome.
    }
    return false;
}

std::string LogLoader::stoppedText() const {
    if (!storeStopped_.empty()) {
        return storeStopped_;
    }
    return job_ ? job_->stopped() : std::string();
}

void LogLoader::rowsArrived(const std::shared_ptr<FiledRows>& rows, const LoadFigures& figures) {
    file(*rows);
    observers_.announce(StoreField::loadProgress);
    progress_.figures = figures;
    if (job_) {
        job_->batchTaken(rows);
    }
}

void LogLoader::finished(bool wasOpened, bool cancelled, const LoadFigures& figures,
                         std::optional<ProcessTree::BuiltTree> tree) {
    if (runningFollow_) {
        continuationFinished(figures, std::move(tree));
        return;
    }
    const std::string stopped = stoppedText();
    // A stop is no cancel of the user's.
    cancelled = cancelled && storeStopped_.empty();
    if (wasOpened && !cancelled && stopped.empty() && job_->followable()) {
        keepFollowable(figures);
    } else if (!wasOpened || job_->unfollowed()) {
        unfollowed_.push_back(
            unfollowedNotice(runningPath_, wasOpened ? *job_->unfollowed() : Unfollowed::unopened));
    }
    const std::string openFailure = job_->openFailure();
    const std::string indexNotice = job_->indexNotice();
    const bool fromIndex = job_->fromIndex();
    if (job_->rulesOwed()) {
        ++loadsOwingRules_;
    }
    if (job_->owedTree()) {
        owedTree_ = job_->owedTree();
    }
    job_.reset();  // its thread has ended or is about to
    treeStale_ = false;
    lastTree_ = std::chrono::steady_clock::now();
    if (tree) {
        store_.setTree(std::move(tree->json), std::move(tree->facts));
    } else if (treeWanted_) {
        std::fputs("Could not convert json to Process Tree\n", stdout);
        std::fflush(stdout);
    }
    std::string failure =
        wasOpened ? std::string()
        : openFailure.empty()
            ? openFailureText(runningPath_)
            : "Could not open " + std::string(lastPathComponent(runningPath_)) + ": " + openFailure;
    if (!wasOpened) {
        store_.addLoadError(lastPathComponent(runningPath_), failure);
    }
    observers_.announce(StoreField::loadProgress);
    if (!wasOpened) {
        progress_.openFailure = failure;
    }
    if (!stopped.empty()) {
        progress_.stopNotices.push_back(logName(runningPath_) + ": " + stopped);
    }
    if (!indexNotice.empty()) {
        progress_.indexNotices.push_back(indexNotice);
    }
    outcomes_.push_back(LoadOutcome{std::move(runningPath_), wasOpened, cancelled, figures,
                                    std::move(failure), stopped, indexNotice, fromIndex});
    progress_.cancelledAfter.reset();
    progress_.cancelledQueued = 0;
    if (cancelled) {
        progress_.cancelledAfter = figures.lines;
        progress_.cancelledQueued = std::exchange(droppedQueued_, 0);
    }
    tellUnfollowed();
    startNext();
}

void LogLoader::takeOwedTree(LoadJob::Options& options) {
    if (options.feedTree && owedTree_) {
        options.feedFirst = std::exchange(owedTree_, {});
    }
}

void LogLoader::tellUnfollowed() {
    if (!following_ || unfollowedTold_ == unfollowed_.size()) {
        return;
    }
    observers_.announce(StoreField::loadProgress);
    for (; unfollowedTold_ < unfollowed_.size(); ++unfollowedTold_) {
        progress_.followNotices.push_back(unfollowed_[unfollowedTold_]);
    }
}

void LogLoader::setFollowing(bool on) {
    if (on == following_) {
        return;
    }
    following_ = on;
    if (!on) {
        watch_.reset();
        return;
    }
    tellUnfollowed();
    watch_ = std::make_unique<LogWatch>([this] { post_([this] { checkFollowed(); }); });
    for (const FollowedLog& f : followed_) {
        if (!f.stopped) {
            watch_->watch(f.path);
        }
    }
    post_([this] { checkFollowed(); });
}

bool LogLoader::followsSomeLog() const {
    return std::any_of(followed_.begin(), followed_.end(),
                       [](const FollowedLog& f) { return !f.stopped; });
}

void LogLoader::keepFollowable(const LoadFigures& figures) {
    FollowedLog f;
    f.log = runningLog_;
    f.path = runningPath_;
    f.fd = store_.logFiles().descriptor(runningLog_);
    f.loaded = LoadJob::Continuation{f.fd,
                                     job_->textEnd(),
                                     figures.lines,
                                     job_->sequenceGaps(),
                                     job_->lineage(),
                                     job_->indexedPath(),
                                     job_->indexedEnd(),
                                     job_->unsavedJournal(),
                                     job_->rulesOwed()};
    if (!f.identify()) {
        return;
    }
    // Lines written after the load's last read are still to come.
    f.seenSize = f.loaded.offset;
    f.rememberTail();
    followed_.push_back(std::move(f));
    if (watch_) {
        watch_->watch(runningPath_);
        // Lines may have come while the tree was built.
        post_([this] { checkFollowed(); });
    }
}

void LogLoader::checkFollowed() {
    if (!following_) {
        return;
    }
    for (std::size_t i = 0; i < followed_.size(); ++i) {
        FollowedLog& f = followed_[i];
        if (f.stopped || f.reading) {
            continue;
        }
        const FollowedLog::Change change = f.look();
        if (change == FollowedLog::Change::grown) {
            queueContinuation(i);
        } else if (change != FollowedLog::Change::none) {
            observers_.announce(StoreField::loadProgress);
            f.stopped = true;
            progress_.followNotices.push_back(f.stoppedNotice(change));
        }
    }
    const bool treeDue = std::chrono::steady_clock::now() - lastTree_ >= kTreeEvery;
    if (treeStale_ && treeWanted_ && treeDue && !job_ && queue_.empty()) {
        queueContinuation(kTreeOnly);
    }
    if (!job_ && !queue_.empty()) {
        startNext();
    }
}

void LogLoader::queueContinuation(std::size_t follow) {
    if (follow != kTreeOnly) {
        FollowedLog& f = followed_[follow];
        f.reading = true;
        f.identify();  // the size it is read to, at least
    }
    queue_.push_back(Queued{{}, follow});
}

void LogLoader::startContinuation(std::size_t follow) {
    LoadJob::Options options;
    options.holdPartialLine = true;
    options.rules = rules_;
    options.index = index_;  // a followed log's index grows with it
    options.feedTree = treeWanted_;
    options.buildTree = std::chrono::steady_clock::now() - lastTree_ >= kTreeEvery;
    takeOwedTree(options);
    std::uint32_t log = 0;
    std::string path;
    if (follow == kTreeOnly) {
        options.from = LoadJob::Continuation{};  // reads nothing
        options.buildTree = true;
    } else {
        const FollowedLog& f = followed_[follow];
        options.from = f.loaded;
        log = f.log;
        path = f.path;
    }
    runningFollow_ = follow;
    LoadJob::Sink sink;
    storeStopped_.clear();
    sink.rows = [this](const std::shared_ptr<FiledRows>& rows, const LoadFigures&) {
        file(*rows);
        if (job_) {
            job_->batchTaken(rows);
        }
    };
    sink.finished = [this](bool, bool, const LoadFigures& figures,
                           std::optional<ProcessTree::BuiltTree> tree) {
        try {
            finished(true, false, figures, std::move(tree));
        } catch (const std::bad_alloc&) {
            continuationNotFinished(figures);
        }
    };
    job_ =
        std::make_unique<LoadJob>(std::move(path), log, store_.lineRefs().size(), store_.rowTexts(),
                                  tree_, post_, std::move(sink), std::move(options));
}

void LogLoader::continuationFinished(const LoadFigures& figures,
                                     std::optional<ProcessTree::BuiltTree> tree) {
    const std::size_t follow = *runningFollow_;
    const std::string stopped = stoppedText();
    // An index that could not be written anew turns indexing off for the
    // log, as it does after a first load.
    if (const std::string& notice = job_->indexNotice(); !notice.empty()) {
        observers_.announce(StoreField::loadProgress);
        progress_.indexNotices.push_back(notice);
    }
    if (job_->rulesOwed()) {
        ++loadsOwingRules_;
        observers_.announce(StoreField::loadProgress);
    }
    if (follow != kTreeOnly) {
        FollowedLog& f = followed_[follow];
        f.loaded.offset = job_->textEnd();
        f.loaded.lines = figures.lines;
        f.loaded.sequenceGaps = job_->sequenceGaps();
        f.loaded.lineage = job_->lineage();
        f.loaded.indexedPath = job_->indexedPath();
        f.loaded.indexedEnd = job_->indexedEnd();
        f.loaded.journal = job_->unsavedJournal();
        // A log whose lineage was never told owes the rules its rows for good.
        f.loaded.rulesOwed = f.loaded.rulesOwed || job_->rulesOwed();
        f.reading = false;
        f.rememberTail();
        treeStale_ = true;
        if (!stopped.empty()) {
            // Reading on would skip what was lost.
            observers_.announce(StoreField::loadProgress);
            f.stopped = true;
            progress_.stopNotices.push_back(logName(f.path) + ": " + stopped);
        }
    }
    if (job_->owedTree()) {
        owedTree_ = job_->owedTree();
    }
    job_.reset();
    runningFollow_.reset();
    if (tree) {
        store_.setTree(std::move(tree->json), std::move(tree->facts));
        treeStale_ = false;
        lastTree_ = std::chrono::steady_clock::now();
        observers_.announce(StoreField::loadProgress);
    }
    // More may have come while it was read, or the file replaced since.
    checkFollowed();
    if (!job_) {
        startNext();  // also tells the end of the running continuation
    }
}

}  // namespace korvantis
