// korvantis-inspect --follow: the shown rows of the logs, then of the lines
// appended to them, until a signal ends it.

#include "inspect/followed_rows.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <optional>
#include <thread>

#include "inspect/terminal_text.h"

namespace korvantis {

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// What followRows() has told on standard error so far.
struct Told {
    std::size_t notices = 0;       // of following stopped
    std::size_t indexNotices = 0;  // of indexes not used or not written
    std::size_t outcomes = 0;      // loads looked at
    bool allOf(const LogLoader& loader) const {
        return notices == loader.progress().followNotices.size() &&
               indexNotices == loader.progress().indexNotices.size() &&
               outcomes == loader.outcomes().size();
    }
};

// Names the logs no longer followed or indexed, and those that could not be
// opened (true when there was one).
bool tellNews(const LogLoader& loader, Told& told) {
    const auto& notices = loader.progress().followNotices;
    for (; told.notices < notices.size(); ++told.notices) {
        std::cerr << "korvantis-inspect: " << terminalText(notices[told.notices]) << "\n";
    }
    const auto& indexNotices = loader.progress().indexNotices;
    for (; told.indexNotices < indexNotices.size(); ++told.indexNotices) {
        std::cerr << "korvantis-inspect: " << terminalText(indexNotices[told.indexNotices]) << "\n";
    }
    bool unopened = false;
    const auto& outcomes = loader.outcomes();
    for (; told.outcomes < outcomes.size(); ++told.outcomes) {
        if (!outcomes[told.outcomes].opened) {
            std::cerr << "korvantis-inspect: cannot open "
                      << terminalText(outcomes[told.outcomes].path) << "\n";
            unopened = true;
        }
    }
    return unopened;
}

}  // namespace

void holdStopSignals() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int followRows(Workspace& workspace, TaskQueue& tasks, std::size_t logs, FilterQuery& query,
               ExportFormat format, const FieldList& fields) {
    bool stop = false;
    // The signals are held in every thread; this one alone takes them, and
    // the rows written so far end as a whole batch.
    std::thread signals([&tasks, &stop] {
        const sigset_t set = stopSignals();
        int signal = 0;
        sigwait(&set, &signal);
        tasks.post([&stop] { stop = true; });
    });
    const EventStore& store = workspace.store;
    StoreRowCursor cursor(store);
    Told told;
    // Those of the loads that ended before were told with their outcomes.
    told.indexNotices = workspace.loader.progress().indexNotices.size();
    std::size_t seen = 0;  // stored lines looked at
    int status = 0;
    for (bool header = true;; header = false) {
        seen = store.lineRefs().size();
        if (!query.treeRoots().empty()) {
            query.bindTrees(StoreRowCursor::processLinks(store));
        }
        const RowsWritten rows = writeMatchingRows(store, query, format, fields, cursor, header);
        status = rows.ok() ? status : 1;
        status = tellNews(workspace.loader, told) ? 1 : status;
        // Every log asked for is loaded, and none is followed any more.
        const LogLoader& loader = workspace.loader;
        const bool over =
            loader.outcomes().size() >= logs && loader.idle() && !loader.followsSomeLog();
        if (stop || !rows.written || over) {
            break;
        }
        tasks.runUntil([&] {
            return stop || store.lineRefs().size() != seen || !told.allOf(workspace.loader);
        });
    }
    if (!stop) {
        pthread_kill(signals.native_handle(), SIGTERM);  // ends its wait
    }
    signals.join();
    return status;
}

}  // namespace korvantis
