// A rule folder added while a large log is open, in a main window shown
// offscreen: the time from the folder being added to its hits applied to
// every row and counted for the Detections list, and the longest UI-thread
// stall meanwhile. Prints figures, checks nothing.
// Usage: bench_rules_ui [LOG [RULES]]  (default /tmp/genlog-1m.json, made
// when missing, and the bundled rules' folder)

#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "bench_window.h"
#include "rules/rule_document.h"
#include "ui/window/detection_rules.h"
#include "ui/window/main_view.h"
#include "workspace/workspace.h"

using namespace korvantis;
using namespace korvantis::ui;
using korvantis::bench::spinUntil;

int main(int argc, char** argv) {
    // Rule files are parsed by this program started again, as the viewer
    // does.
    if (const std::optional<int> answered = answerAsRuleChildOrBecomeItsParent(argc, argv)) {
        return *answered;
    }
    const QString folder =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(KORVANTIS_RULES_DIR);
    // Rule folders are settings: kept apart from the user's own, none at first.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    DetectionRules::setBundledOn(false);
    DetectionRules::setFolders({});
    bench::BenchWindow start(argc, argv);
    if (!start.ready()) {
        return 1;
    }
    MainView& view = start.view();
    Workspace& ws = view.workspace();
    DetectionRules& rules = *view.detectionRules();
    QElapsedTimer clock;
    clock.start();
    ws.loader.loadJsonFile(start.log().toStdString());
    spinUntil([&] {
        return !ws.loader.progress().running && ws.store.lineRefs().size() > 0 && !rules.busy();
    });
    std::printf("lines: %zu, loaded in %.1f s\n", ws.store.lineRefs().size(),
                static_cast<double>(clock.elapsed()) / 1000);

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
    bool counted = false;
    QObject::connect(&rules, &DetectionRules::talliesChanged, [&] { counted = true; });
    ticker.start();
    lastTick = clock.nsecsElapsed();
    const qint64 t0 = clock.nsecsElapsed();
    DetectionRules::setFolders({folder});
    rules.reload();
    spinUntil([&] { return !rules.busy(); });
    const qint64 applied = clock.nsecsElapsed() - t0;
    spinUntil([&] { return counted; });
    const qint64 listed = clock.nsecsElapsed() - t0;
    std::printf("%zu rules: hits applied to every row in %.1f ms (target 2000 ms)\n",
                rules.ruleCount(), static_cast<double>(applied) / 1e6);
    std::printf("  and counted for the Detections list in %.1f ms\n",
                static_cast<double>(listed) / 1e6);
    std::printf("  longest UI-thread stall meanwhile %.1f ms (target 50 ms)\n",
                static_cast<double>(stall) / 1e6);
    return 0;
}
