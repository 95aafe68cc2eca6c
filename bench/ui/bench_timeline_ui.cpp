// The timeline and the summary on a large log in a main window shown
// offscreen: after a filter change, how long the strip takes to count the
// shown rows once the lists are filtered, and to paint; how long the
// summary window takes to be ready. Prints figures, checks nothing.
// Usage: bench_timeline_ui [log.json]  (default: /tmp/genlog-1m.json, made with
// korvantis-genlog, 1,000,000 lines, when it is not there yet)

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_window.h"
#include "ui/panel/event_panel.h"
#include "ui/rows/filtered_row_source.h"
#include "ui/window/filter_bar.h"
#include "ui/window/main_view.h"
#include "ui/window/summary_window.h"
#include "ui/window/timeline_strip.h"
#include "workspace/workspace.h"

using namespace korvantis;
using namespace korvantis::ui;
using korvantis::bench::spinUntil;

namespace {

void print(const char* what, std::vector<double> ms, const char* target) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %7.1f ms  min %7.1f  max %7.1f  (n=%zu, target %s)\n", what,
                ms[ms.size() / 2], ms.front(), ms.back(), ms.size(), target);
}

// After each filter change: the lists filtered, then the strip's count of them.
void timeRecounts(MainView& view) {
    FilteredRowSource& procs = view.processPanel()->preview()->filteredRows();
    FilteredRowSource& files = view.filePanel()->preview()->filteredRows();
    auto idle = [&] { return !procs.searching() && !files.searching(); };
    QElapsedTimer clock;
    clock.start();
    std::vector<double> filtered;
    std::vector<double> recounted;
    const QString queries[] = {QStringLiteral("type:write"), QStringLiteral("Library"),
                               QStringLiteral("path:/usr/lib"), QString()};
    for (int round = 0; round < 3; ++round) {
        for (const QString& query : queries) {
            view.filterBar()->field()->setText(query);
            const qint64 t0 = clock.nsecsElapsed();
            spinUntil(idle);
            const qint64 t1 = clock.nsecsElapsed();
            spinUntil([&] { return view.timeline()->counted(); });
            const qint64 t2 = clock.nsecsElapsed();
            filtered.push_back(static_cast<double>(t1 - t0) / 1e6);
            recounted.push_back(static_cast<double>(t2 - t1) / 1e6);
        }
    }
    print("filter change -> lists filtered", filtered, "100 ms");
    print("lists filtered -> timeline recounted", recounted, "100 ms");
}

}  // namespace

int main(int argc, char** argv) {
    bench::BenchWindow start(argc, argv);
    if (!start.ready()) {
        return 1;
    }
    MainView& view = start.view();
    const QString& path = start.log();
    FilteredRowSource& procs = view.processPanel()->preview()->filteredRows();
    FilteredRowSource& files = view.filePanel()->preview()->filteredRows();
    TimelineStrip* strip = view.timeline();
    const LogLoader& loader = view.workspace().loader;
    view.workspace().loader.loadJsonFile(path.toStdString());
    spinUntil([&] { return !loader.outcomes().empty(); });
    spinUntil([&] { return strip->counted(); });
    std::printf("log: %s: %d process rows, %d file rows\n", qPrintable(path), procs.totalCount(),
                files.totalCount());

    timeRecounts(view);
    QElapsedTimer clock;
    clock.start();
    std::vector<double> paints;
    for (int i = 0; i < 30; ++i) {
        const qint64 t0 = clock.nsecsElapsed();
        strip->repaint();
        paints.push_back(static_cast<double>(clock.nsecsElapsed() - t0) / 1e6);
    }
    print("timeline painted", paints, "8 ms");

    std::vector<double> summaries;
    for (int i = 0; i < 3; ++i) {
        const qint64 t0 = clock.nsecsElapsed();
        view.showSummary();
        spinUntil([&] { return view.summaryWindow()->ready(); });
        summaries.push_back(static_cast<double>(clock.nsecsElapsed() - t0) / 1e6);
        view.summaryWindow()->hide();
    }
    print("summary window shown -> ready", summaries, "1000 ms");
    return 0;
}
