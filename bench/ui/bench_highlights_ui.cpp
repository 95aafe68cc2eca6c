// Highlight rules on a large log in a main window shown offscreen: with five
// rules, a page down in the process list until it is painted, and a new
// rule from being set to its rows known (matched on workers, the way the
// filter is); the longest UI-thread stall meanwhile. Prints figures, checks
// nothing.
// Usage: bench_highlights_ui [LINES | LOG]  (default 10,000,000 generated
// lines, kept as /tmp/genlog-LINES.json; a smaller LINES for a quick run)

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "bench_window.h"
#include "ui/marks/highlight_rules.h"
#include "ui/marks/highlighted_rows.h"
#include "ui/panel/event_panel.h"
#include "ui/window/detection_rules.h"
#include "ui/window/investigation_actions.h"
#include "ui/window/main_view.h"
#include "ui/window/window_highlights.h"
#include "workspace/workspace.h"

using namespace korvantis;
using namespace korvantis::ui;
using korvantis::bench::spinUntil;

namespace {

// Processor time of all the program's threads.
double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double ms(qint64 ns) {
    return static_cast<double>(ns) / 1e6;
}

void print(const char* what, std::vector<double> v, const char* target) {
    std::sort(v.begin(), v.end());
    std::printf("%-44s median %8.1f ms  max %8.1f  (n=%zu, target %s)\n", what, v[v.size() / 2],
                v.back(), v.size(), target);
}

// The log to load: a path, or LINES generated lines (made once).
QString logFor(int argc, char** argv) {
    const QString arg = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("10000000");
    bool number = false;
    const qlonglong lines = arg.toLongLong(&number);
    if (!number) {
        return arg;
    }
    const QString path = QStringLiteral("/tmp/genlog-%1.json").arg(lines);
    if (!QFile::exists(path)) {
        std::printf("generating %s ...\n", qPrintable(path));
        const QString cmd = QStringLiteral("'%1' %2 > '%3'")
                                .arg(QStringLiteral(KORVANTIS_GENLOG))
                                .arg(lines)
                                .arg(path);
        if (std::system(cmd.toLocal8Bit().constData()) != 0) {
            std::fprintf(stderr, "could not generate the log\n");
            return {};
        }
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(bench::offscreenUnlessAsked(argc), argv);
    const QString log = logFor(argc, argv);
    if (log.isEmpty()) {
        return 1;
    }
    MainView view([](const TreeRequest&) {});
    if (!bench::showWindow(view)) {
        return 1;
    }
    Workspace& ws = view.workspace();
    QElapsedTimer clock;
    clock.start();
    ws.loader.loadJsonFile(log.toStdString());
    // The bundled detection rules may come after the load began: their
    // rescan of the rows would share the cores with what is measured.
    const DetectionRules& detections = *view.detectionRules();
    spinUntil([&] {
        return !ws.loader.progress().running && ws.store.lineRefs().size() > 0 &&
               !detections.busy();
    });
    std::printf("lines: %zu, process rows: %zu, loaded in %.1f s\n", ws.store.lineRefs().size(),
                ws.store.rows(RowKind::process).size(), ms(clock.nsecsElapsed()) / 1000);

    WindowHighlights& highlights = view.investigation()->highlights();
    const auto ready = [&] {
        return std::all_of(kRowKinds.begin(), kRowKinds.end(),
                           [&](RowKind kind) { return highlights.rowsOf(kind).ready(); });
    };
    // The longest the UI thread keeps a 1 ms timer waiting.
    qint64 lastTick = clock.nsecsElapsed();
    qint64 stall = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        stall = std::max(stall, now - lastTick);
        lastTick = now;
    });

    const QVector<HighlightRule> five = {
        {"libraries", "path:/usr/lib", "amber", true},
        {"writes", "type:write", "rose", true},
        {"launchd", "pid:1", "mint", true},
        {"plain", "Library", "sky", true},
        {"shells", "path:/bin", "lilac", true},
    };
    lastTick = clock.nsecsElapsed();
    ticker.start();
    qint64 t0 = clock.nsecsElapsed();
    highlights.rules().setRules(five);
    spinUntil(ready);
    std::printf("%-44s %8.1f ms\n", "five rules set, their rows known",
                ms(clock.nsecsElapsed() - t0));
    std::printf("%-44s %8.1f ms  (target 50 ms)\n", "  longest UI-thread stall meanwhile",
                ms(stall));
    stall = 0;

    // Page down, painted, with five rules.
    PreviewList* list = view.processPanel()->preview()->list();
    list->setFocus();
    std::vector<double> pages;
    for (int i = 0; i < 60; ++i) {
        t0 = clock.nsecsElapsed();
        QTest::keyClick(list, Qt::Key_PageDown);
        list->viewport()->repaint();
        pages.push_back(ms(clock.nsecsElapsed() - t0));
    }
    print("page down -> painted, five rules", pages, "16 ms");
    stall = 0;
    lastTick = clock.nsecsElapsed();

    // A sixth rule, each time another query, put first and last.
    std::vector<double> added;
    const char* queries[] = {"path:/System", "type:exec", "pid:100", "Frameworks", "-path:/usr"};
    for (int i = 0; i < 5; ++i) {
        QVector<HighlightRule> rules = five;
        const HighlightRule rule{"new", queries[i], "sand", true};
        if (i % 2 == 0) {
            rules.prepend(rule);
        } else {
            rules.append(rule);
        }
        t0 = clock.nsecsElapsed();
        const double cpu0 = processCpuMs();
        highlights.rules().setRules(rules);
        spinUntil(ready);
        added.push_back(ms(clock.nsecsElapsed() - t0));
        std::printf("  %-42s %8.1f ms  (processor %.1f ms)\n", queries[i], added.back(),
                    processCpuMs() - cpu0);
    }
    print("new rule set -> its rows known", added, "1000 ms");
    ticker.stop();
    std::printf("%-44s %8.1f ms  (target 50 ms)\n", "  longest UI-thread stall meanwhile",
                ms(stall));
    return 0;
}
