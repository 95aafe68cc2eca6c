// Choosing an event whose line is 20 MB in a main window shown offscreen:
// how long the choice takes on the UI thread, the longest stall of the UI
// thread until the detail is shown (its paint included), and what making
// the detail alone costs when done on the UI thread. Prints figures,
// checks nothing.
// Usage: bench_detail_ui

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench_window.h"
#include "ui/panel/detail_area.h"
#include "ui/panel/event_panel.h"
#include "ui/window/main_view.h"
#include "workspace/workspace.h"

using namespace korvantis;
using namespace korvantis::ui;
using korvantis::bench::spinUntil;

namespace {

// A small event, then one whose args make its line over 20 MB.
bool writeHugeLog(const QString& path) {
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
    out << R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":)"
        << R"({"pid":6,"ppid":1,"path":"/bin/small"}})" << '\n';
    out << R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":)"
        << R"({"pid":7,"ppid":1,"path":"/bin/big"},"args":[)";
    const std::string arg(96, 'a');
    for (int i = 0; i < 200000; ++i) {
        out << (i ? ",\"" : "\"") << arg << i % 10 << "/\"";
    }
    out << "]}\n";
    return out.good();
}

double msSince(const QElapsedTimer& clock, qint64 from) {
    return static_cast<double>(clock.nsecsElapsed() - from) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(bench::offscreenUnlessAsked(argc), argv);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("huge.json"));
    if (!writeHugeLog(log)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(log));
        return 1;
    }
    MainView view([](const TreeRequest&) {});
    if (!bench::showWindow(view)) {
        return 1;
    }
    Workspace& workspace = view.workspace();
    workspace.loader.loadJsonFile(QFile::encodeName(log).toStdString());
    EventPreview* preview = view.processPanel()->preview();
    spinUntil([&] { return workspace.loader.idle() && preview->rows().rowCount() == 2; });
    EventTextView* text = view.processPanel()->detail()->eventTextView();

    // A timer that fires on every turn of the event loop measures the
    // longest time the UI thread went without turning it.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 worstStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worstStall = std::max(worstStall, now - lastTick);
        lastTick = now;
    });
    ticker.start(0);
    lastTick = clock.nsecsElapsed();

    const qint64 chooseStart = clock.nsecsElapsed();
    preview->chooseRow(1);
    const double chooseMs = msSince(clock, chooseStart);
    spinUntil([&] { return text->copyButton()->isVisible(); });
    const qint64 paintStart = clock.nsecsElapsed();
    text->grab();
    const double paintMs = msSince(clock, paintStart);
    ticker.stop();
    const double stallMs = std::max(static_cast<double>(worstStall) / 1e6, paintMs);
    const std::size_t bytes = workspace.selection.activeEventJson().size();

    // What making the detail alone costs on this thread, as it once was
    // done (laying out all of it came on top).
    const qint64 makeStart = clock.nsecsElapsed();
    workspace.selection.selectEvent(preview->rows().rowPlace(1));
    const double makeMs = msSince(clock, makeStart);

    std::printf("choosing a %zu-byte detail\n", bytes);
    std::printf("%-44s %8.1f ms\n", "choose (UI thread)", chooseMs);
    std::printf("%-44s %8.1f ms\n", "longest UI stall (paint included)", stallMs);
    std::printf("%-44s %8.1f ms\n", "paint of the shown part", paintMs);
    std::printf("%-44s %8.1f ms\n", "detail made on the UI thread alone", makeMs);
    return 0;
}
