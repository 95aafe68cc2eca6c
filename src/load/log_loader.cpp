#include "load/log_loader.h"

#include <cstdio>
#include <utility>

#include "ingest/path_name.h"
#include "load/open_failure.h"
#include "store/event_store.h"

namespace korvantis {

LogLoader::LogLoader(EventStore& store, StoreObservers& observers, Post post)
    : store_(store), observers_(observers), post_(std::move(post)) {}

LogLoader::~LogLoader() {
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
    queue_.push_back(std::move(path));
    if (!job_) {
        startNext();
    } else {
        observers_.announce(StoreField::loadProgress);
        progress_.queued = queue_.size();
    }
}

void LogLoader::cancel() {
    if (!job_ && queue_.empty()) {
        return;
    }
    queue_.clear();
    if (job_) {
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
    runningPath_ = std::move(queue_.front());
    queue_.pop_front();
    progress_.running = true;
    progress_.fileName = logName(runningPath_);
    progress_.figures = LoadFigures{};
    progress_.queued = queue_.size();
    progress_.cancelledAfter.reset();

    LoadJob::Sink sink;
    sink.opened = [this](int fd, int error, std::shared_ptr<const LogText> text) {
        opened(fd, error, std::move(text));
    };
    sink.rows = [this](const std::shared_ptr<FiledRows>& rows, const LoadFigures& figures) {
        rowsArrived(rows, figures);
    };
    sink.finished = [this](bool wasOpened, bool cancelled, const LoadFigures& figures,
                           std::optional<ProcessTree::BuiltTree> tree) {
        finished(wasOpened, cancelled, figures, std::move(tree));
    };
    // The log gets the next index among the store's logs: logs are added
    // only here, one load at a time.
    const auto logIndex = static_cast<std::uint32_t>(store_.logFiles().size());
    job_ = std::make_unique<LoadJob>(runningPath_, logIndex, store_.lineRefs().ids(),
                                     store_.lineRefs().size(), store_.rowTexts(), tree_, post_,
                                     std::move(sink));
}

void LogLoader::opened(int fd, int error, std::shared_ptr<const LogText> text) {
    store_.addLog(fd, runningPath_, error, std::move(text));
}

void LogLoader::rowsArrived(const std::shared_ptr<FiledRows>& rows, const LoadFigures& figures) {
    store_.append(*rows);
    observers_.announce(StoreField::loadProgress);
    progress_.figures = figures;
    if (job_) {
        job_->batchTaken(rows);
    }
}

void LogLoader::finished(bool wasOpened, bool cancelled, const LoadFigures& figures,
                         std::optional<ProcessTree::BuiltTree> tree) {
    job_.reset();  // its thread has ended or is about to
    if (tree) {
        store_.setTree(std::move(tree->json), std::move(tree->facts));
    } else {
        std::fputs("Could not convert json to Process Tree\n", stdout);
        std::fflush(stdout);
    }
    std::string failure = wasOpened ? std::string() : openFailureText(runningPath_);
    if (!wasOpened) {
        store_.addLoadError(lastPathComponent(runningPath_), failure);
    }
    observers_.announce(StoreField::loadProgress);
    if (!wasOpened) {
        progress_.openFailure = failure;
    }
    outcomes_.push_back(
        LoadOutcome{std::move(runningPath_), wasOpened, cancelled, figures, std::move(failure)});
    progress_.cancelledAfter.reset();
    if (cancelled) {
        progress_.cancelledAfter = figures.lines;
    }
    startNext();
}

}  // namespace korvantis
