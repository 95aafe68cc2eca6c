// Loads a large log into a main window shown offscreen and prints how long
// the window takes to show it, to recolour after a row click and to scroll
// a page. Usage: bench_ui [log.json]  (default: /tmp/genlog-1m.json, made
// with korvantis-genlog, 1,000,000 lines, when it is not there yet). With
// KORVANTIS_BENCH_ALL_COLUMNS set, both lists show every column they offer.
// With KORVANTIS_BENCH_INDEX set, the window reads and writes the log's
// index in $XDG_CACHE_HOME as the viewer does: run it twice for a reopening.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../bench_support.h"
#include "bench_window.h"
#include "index/index_cache.h"
#include "ui/panel/detail_area.h"
#include "ui/panel/error_view.h"
#include "ui/panel/event_panel.h"
#include "ui/rows/store_notifier.h"
#include "ui/window/main_view.h"
#include "workspace/workspace.h"

using namespace korvantis;
using namespace korvantis::ui;
using korvantis::bench::spinUntil;

namespace {

double ms(qint64 ns) {
    return static_cast<double>(ns) / 1e6;
}

struct Figures {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    void print(const char* what) {
        std::sort(v.begin(), v.end());
        std::printf("%-44s median %7.2f ms  min %7.2f ms  max %7.2f ms  (n=%zu)\n", what,
                    v[v.size() / 2], v.front(), v.back(), v.size());
    }
};

}  // namespace

int main(int argc, char** argv) {
    // The column choice is a setting: kept apart from the user's own.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    bench::BenchWindow start(argc, argv);
    if (!start.ready()) {
        return 1;
    }
    MainView& view = start.view();
    const QString& path = start.log();
    if (qEnvironmentVariableIsSet("KORVANTIS_BENCH_ALL_COLUMNS")) {
        for (EventPanel* panel : {view.processPanel(), view.filePanel()}) {
            ColumnChoice& columns = panel->preview()->columnChoice();
            for (const EventColumn& column : columns.available()) {
                columns.setShown(column.key, true);
            }
        }
    }
    if (qEnvironmentVariableIsSet("KORVANTIS_BENCH_INDEX")) {
        if (std::string folder = IndexCache::defaultFolder(true); !folder.empty()) {
            view.workspace().loader.setIndexCache(std::make_shared<IndexCache>(std::move(folder)));
        }
    }
    PreviewList* procList = view.processPanel()->preview()->list();
    PreviewList* fileList = view.filePanel()->preview()->list();
    DetailArea* detail = view.processPanel()->detail();

    // The load runs on workers; the UI thread files batches of rows and
    // repaints. A 1 ms timer measures how late the event loop gets to it:
    // the longest stall of the UI thread during the whole load.
    QElapsedTimer clock;
    clock.start();
    qint64 firstRows = 0, lastTick = 0, worstStall = 0, worstStallAt = 0;
    // The UI thread's own CPU time over the longest stall: near the stall,
    // the UI thread was working; near zero, it was waiting for a core.
    double lastCpu = bench::threadCpuMilliseconds(), worstStallCpu = 0;
    // And what the UI thread waited on over it: page faults (major ones
    // read the disk), waits of its own (a lock, a read) and preemptions
    // (a core wanted by another thread).
    auto threadUsage = [] {
        rusage u{};
        getrusage(RUSAGE_THREAD, &u);
        return u;
    };
    rusage lastUsage = threadUsage(), worstUsage{};
    QTimer ticker;
    ticker.setInterval(1);
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &view, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double cpu = bench::threadCpuMilliseconds();
        const rusage usage = threadUsage();
        if (now - lastTick > worstStall) {
            worstStall = now - lastTick;
            worstStallAt = now;
            worstStallCpu = cpu - lastCpu;
            worstUsage.ru_minflt = usage.ru_minflt - lastUsage.ru_minflt;
            worstUsage.ru_majflt = usage.ru_majflt - lastUsage.ru_majflt;
            worstUsage.ru_nvcsw = usage.ru_nvcsw - lastUsage.ru_nvcsw;
            worstUsage.ru_nivcsw = usage.ru_nivcsw - lastUsage.ru_nivcsw;
        }
        lastTick = now;
        lastCpu = cpu;
        lastUsage = usage;
    });
    QObject::connect(&view.notifier(), &StoreNotifier::changed, &view, [&] {
        if (firstRows == 0 && procList->rows().rowCount() > 0) {
            procList->viewport()->repaint();
            firstRows = clock.nsecsElapsed();
        }
    });
    const LogLoader& loader = view.workspace().loader;
    const qint64 loadStart = clock.nsecsElapsed();
    lastTick = loadStart;
    lastCpu = bench::threadCpuMilliseconds();
    lastUsage = threadUsage();
    ticker.start();
    view.workspace().loader.loadJsonFile(path.toStdString());
    spinUntil([&] { return !loader.outcomes().empty(); });
    const qint64 loadEnd = clock.nsecsElapsed();
    ticker.stop();
    if (loader.outcomes().empty()) {
        std::fprintf(stderr, "the load did not finish\n");
        return 1;
    }
    const LoadFigures& stats = loader.outcomes().back().figures;
    std::printf("log: %s (%llu lines, %.1f MB)\n", qPrintable(path),
                static_cast<unsigned long long>(stats.lines), stats.bytesRead / 1e6);
    std::printf("rows: %d process, %d file; load errors %zu\n",
                view.processPanel()->preview()->rows().rowCount(),
                view.filePanel()->preview()->rows().rowCount(),
                view.workspace().store.loadErrors().size());
    std::printf("%-44s %8.1f ms\n", "whole load, UI thread free", ms(loadEnd - loadStart));
    std::printf("%-44s %8.1f ms   (target <= 200)\n", "import -> first rows painted",
                ms(firstRows - loadStart));
    // Where it ended tells the load's end (the tree and the last rows
    // handed over) from its middle.
    std::printf(
        "%-44s %8.1f ms   (target <= 50; ended %.1f s after the import, %.1f s before "
        "the end; %.1f ms of it on the UI thread's CPU)\n",
        "longest UI-thread stall during the load", ms(worstStall - 1000000),
        ms(worstStallAt - loadStart) / 1000, ms(loadEnd - worstStallAt) / 1000, worstStallCpu);
    std::printf("%-44s %ld minor + %ld major page faults, %ld waits, %ld preemptions\n",
                "  the UI thread over that stall", worstUsage.ru_minflt, worstUsage.ru_majflt,
                worstUsage.ru_nvcsw, worstUsage.ru_nivcsw);
    // Private memory once the load is done: on a reopening, the rows, texts
    // and tree are read in place and count here only as what was made of them.
    {
        QFile status(QStringLiteral("/proc/self/status"));
        long anonKb = -1;
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("RssAnon:")) {
                    anonKb = line.mid(8).trimmed().split(' ').value(0).toLong();
                }
            }
        }
        std::printf("%-44s %8.1f MiB\n", "private memory (RssAnon) after the load",
                    anonKb / 1024.0);
    }

    // Row clicks: the click, the store's announcement handled, the list's
    // viewport and the detail text repainted.
    auto clickRow = [&](PreviewList* list, QWidget* area, int row) {
        const QRect r = list->rowRect(row);
        const qint64 t0 = clock.nsecsElapsed();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, r.center().y()));
        QCoreApplication::processEvents();  // the coalesced store signal
        list->viewport()->repaint();
        area->repaint();
        return clock.nsecsElapsed() - t0;
    };
    std::printf("%-44s %8.2f ms   (the first one after the load)\n",
                "first row click -> recoloured + detail", ms(clickRow(procList, detail, 3)));
    Figures clicks;
    for (int i = 0; i < 30; ++i) {
        clicks.add(ms(clickRow(procList, detail, (i * 7) % 20 + 1)));
    }
    clicks.print("row click -> recoloured + detail (target 16)");

    // Page scrolling, each step painted.
    Figures pages;
    procList->setFocus();
    for (int i = 0; i < 60; ++i) {
        const qint64 t0 = clock.nsecsElapsed();
        QTest::keyClick(procList, Qt::Key_PageDown);
        procList->viewport()->repaint();
        pages.add(ms(clock.nsecsElapsed() - t0));
    }
    pages.print("page down, painted (target 16)");
    Figures jumps;
    QScrollBar* bar = procList->verticalScrollBar();
    for (int i = 0; i < 30; ++i) {
        const qint64 t0 = clock.nsecsElapsed();
        bar->setValue(
            static_cast<int>((static_cast<qint64>(bar->maximum()) * (i * 37 % 100)) / 100));
        procList->viewport()->repaint();
        jumps.add(ms(clock.nsecsElapsed() - t0));
    }
    jumps.print("scroll bar jump anywhere, painted");

    view.tabs()->setCurrentIndex(1);
    QCoreApplication::processEvents();
    Figures filePages;
    fileList->setFocus();
    for (int i = 0; i < 60; ++i) {
        const qint64 t0 = clock.nsecsElapsed();
        QTest::keyClick(fileList, Qt::Key_PageDown);
        fileList->viewport()->repaint();
        filePages.add(ms(clock.nsecsElapsed() - t0));
    }
    filePages.print("file list page down, painted");
    Figures fileClicks;
    for (int i = 0; i < 30; ++i) {
        fileClicks.add(ms(clickRow(fileList, view.filePanel()->detail(), (i * 5) % 20 + 1)));
    }
    fileClicks.print("file row click -> recoloured + detail");

    // A million refused lines in the error list of a fresh window.
    QTemporaryDir tmp;
    const QString badPath = tmp.filePath(QStringLiteral("bad.txt"));
    {
        QFile bad(badPath);
        if (!bad.open(QIODevice::WriteOnly)) {
            return 1;
        }
        QByteArray chunk;
        for (int i = 0; i < 1000000; ++i) {
            chunk += "{not an event, line " + QByteArray::number(i) + "\n";
            if (chunk.size() > (1 << 20)) {
                bad.write(chunk);
                chunk.clear();
            }
        }
        bad.write(chunk);
    }
    MainView errorsView([](const korvantis::ui::TreeRequest&) {});
    if (!bench::showWindow(errorsView)) {
        return 1;
    }
    ErrorView* errors = errorsView.processPanel()->detail()->errorView();
    errorsView.workspace().switches.setShowErrors(true);
    qint64 errorsLoadEnd = 0, errorsShown = 0;
    QObject::connect(&errorsView.notifier(), &StoreNotifier::changed, &errorsView, [&] {
        if (errorsLoadEnd != 0 && errorsShown == 0) {
            errors->viewport()->repaint();
            errorsShown = clock.nsecsElapsed();
        }
    });
    errorsView.workspace().loader.loadJsonFile(badPath.toStdString());
    spinUntil([&] { return !errorsView.workspace().loader.outcomes().empty(); });
    errorsLoadEnd = clock.nsecsElapsed();
    errorsView.workspace().switches.setShowErrors(true);
    spinUntil([&] { return errorsShown != 0; });
    std::printf("%-44s %8.2f ms   (%d rows)\n", "end of load -> 1M-entry error list shown",
                ms(errorsShown - errorsLoadEnd), errors->rowCount());
    Figures errorPages;
    errors->setFocus();
    for (int i = 0; i < 60; ++i) {
        const qint64 t0 = clock.nsecsElapsed();
        QTest::keyClick(errors, Qt::Key_PageDown);
        errors->viewport()->repaint();
        errorPages.add(ms(clock.nsecsElapsed() - t0));
    }
    errorPages.print("error list page down, painted");
    return 0;
}
