// The tree window at scale, headless: prints figures, checks nothing.
//
// Usage: bench_treewindow [WIDE_LOG [DEEP_LOG]]
//        bench_treewindow --trees
//   WIDE_LOG  default /tmp/genlog-1m.json  (korvantis-genlog 1000000)
//   DEEP_LOG  default /tmp/genlog-deep-1m.json  (korvantis-genlog 10 --deep 1000000)
// With --trees, only the large trees made in the page (a 300,000-node chain,
// a 20,000-node bushy tree): the longest task of the page while each arrives,
// is searched, fitted, expanded and closed, as the web view test runs them.
// Missing logs are generated first. For each log: load it into an event store,
// take its tree JSON, open a tree window with it (shared, as a main window
// hands it over) and time the way
// to the first picture, then open and close the biggest closed node a few
// times (timed inside the page, from the click to the new picture). Pictures
// of the first windows are saved as treewindow-*.png in the current folder.

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/korvantis_app.h"
#include "load/task_queue.h"
#include "treeview/tree_window.h"
#include "treeview/web_view.h"
#include "treeview/web_view_data.h"
#include "web_test_support.h"
#include "workspace/workspace.h"

using korvantis::test::evalJs;

namespace {

bool ensureLog(const QString& path, const QString& genlogArgs) {
    if (QFile::exists(path)) {
        return true;
    }
    std::printf("generating %s ...\n", qPrintable(path));
    std::fflush(stdout);
    const QString cmd =
        QStringLiteral("'%1' %2 > '%3'").arg(QStringLiteral(KORVANTIS_GENLOG), genlogArgs, path);
    return std::system(cmd.toLocal8Bit().constData()) == 0;
}

template <typename Pred>
bool spinUntil(Pred done, int timeoutMs = 600000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double number(QWebEnginePage* page, const char* expression) {
    return evalJs(page, QString::fromLatin1(expression)).toDouble();
}

// Opens one tree window for `tree` (with the per-node `facts`, when given)
// and prints how it went.
void openAndMeasure(korvantis::KorvantisApp& app, const korvantis::SharedText& tree,
                    const korvantis::SharedText& facts, const char* label,
                    const QString& picturePath) {
    // The longest time the event loop went without running a 5 ms timer,
    // from the open to the first picture: how long the window froze.
    QElapsedTimer beat;
    qint64 longestStall = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, beat.restart()); });

    QElapsedTimer clock;
    const qint64 startEpoch = QDateTime::currentMSecsSinceEpoch();
    clock.start();
    beat.start();
    heartbeat.start();
    QPointer<korvantis::TreeWindow> window = app.openTreeWindow({tree, facts, {}});
    const qint64 opened = clock.elapsed();
    QWebEnginePage* page = window->webView()->webView()->page();
    qint64 loaded = -1;
    QObject::connect(page, &QWebEnginePage::loadFinished, page,
                     [&] { loaded = loaded < 0 ? clock.elapsed() : loaded; });

    // The page is polled once it has loaded (polling a loading page slows
    // it down); the moments themselves are taken inside it.
    spinUntil([&] { return loaded >= 0; });
    const bool drawn = spinUntil([&] {
        return evalJs(page,
                      "!!(window.__korvantis && __korvantis.calls === 1 && "
                      "(__korvantis.paintedAt > 0 || __korvantis.message !== ''))")
            .toBool();
    });
    heartbeat.stop();
    if (!drawn) {
        std::printf("%s: no picture within the time limit\n", label);
        return;
    }
    const QString message = evalJs(page, "__korvantis.message").toString();
    std::printf("%s:\n", label);
    std::printf("  openTreeWindow call             %8lld ms\n", static_cast<long long>(opened));
    std::printf("  page loaded                     %8lld ms\n", static_cast<long long>(loaded));
    if (!message.isEmpty()) {
        std::printf("  page says: %s\n", qPrintable(message));
        return;
    }
    std::printf("  open -> navigation start        %8.0f ms\n",
                number(page, "performance.timeOrigin") - static_cast<double>(startEpoch));
    std::printf("  open -> page scripts run        %8.0f ms\n",
                number(page, "performance.timing.domContentLoadedEventStart") -
                    static_cast<double>(startEpoch));
    std::printf("  open -> page load event done    %8.0f ms\n",
                number(page, "performance.timing.loadEventEnd") - static_cast<double>(startEpoch));
    std::printf("  open -> tree asked for          %8.0f ms\n",
                number(page, "__korvantis.fetchedAt") - static_cast<double>(startEpoch));
    std::printf("  open -> initialLoad called      %8.0f ms\n",
                number(page, "__korvantis.calledAt") - static_cast<double>(startEpoch));
    std::printf("  checking and counting the tree  %8.0f ms\n",
                number(page, "__korvantis.prepareMs"));
    std::printf("  JSON.parse in the page          %8.0f ms\n",
                number(page, "__korvantis.parseMs"));
    std::printf("  first layout and drawing        %8.0f ms\n",
                number(page, "__korvantis.lastRenderMs"));
    std::printf("  open -> first picture made      %8.0f ms\n",
                number(page, "__korvantis.firstDrawnAt") - static_cast<double>(startEpoch));
    std::printf("  open -> first picture painted   %8.0f ms\n",
                number(page, "__korvantis.firstPaintedAt") - static_cast<double>(startEpoch));
    std::printf("  longest event loop stall        %8lld ms\n",
                static_cast<long long>(longestStall));
    std::printf("  nodes in tree / drawn           %8.0f / %.0f\n",
                number(page, "__korvantis.total"), number(page, "__korvantis.drawn"));

    if (facts) {
        heartbeat.start();
        const bool ready = spinUntil([&] {
            return evalJs(page, "__korvantis.facts !== 'asked' && __korvantis.facts !== 'none'")
                .toBool();
        });
        heartbeat.stop();
        std::printf("  facts (%s)                   \n",
                    ready ? qPrintable(evalJs(page, "__korvantis.facts").toString()) : "late");
        std::printf("  open -> facts in use            %8.0f ms\n",
                    number(page, "__korvantis.factsAt") - static_cast<double>(startEpoch));
        std::printf("  JSON.parse of the facts         %8.0f ms\n",
                    number(page, "__korvantis.factsMs"));
        std::printf("  longest stall, open to facts    %8lld ms\n",
                    static_cast<long long>(longestStall));
        for (const char* query : {"zsh", "100"}) {
            // A large tree is searched in slices: read the figures once it is shown.
            evalJs(page, QStringLiteral("__korvantis.search('%1')").arg(query));
            (void)korvantis::test::waitForJs(
                page, QStringLiteral("!__korvantis.searching && !__korvantis.drawing"));
            const double found = number(page, "__korvantis.matches");
            std::printf("  search \"%s\": %.0f matches in    %8.1f ms\n", query, found,
                        number(page, "__korvantis.lastSearchMs"));
        }
        evalJs(page, "__korvantis.search('')");
    }

    if (!picturePath.isEmpty() && window->grab().save(picturePath)) {
        std::printf("  picture saved to %s\n", qPrintable(picturePath));
    }

    std::vector<double> openMs;
    std::vector<double> closeMs;
    for (int i = 0; i < 8; ++i) {
        const QString id = evalJs(page, "JSON.stringify(__korvantis.biggestClosed())").toString();
        evalJs(page, QStringLiteral("__korvantis.click(%1)").arg(id));
        openMs.push_back(number(page, "__korvantis.lastToggleMs"));
        const double drawnOpen = number(page, "__korvantis.drawn");
        evalJs(page, QStringLiteral("__korvantis.click(%1)").arg(id));
        closeMs.push_back(number(page, "__korvantis.lastToggleMs"));
        if (i == 0) {
            std::printf("  biggest closed node opened: drawn %8.0f\n", drawnOpen);
        }
        // Keep every other one open, so the picture grows as a user's would.
        if (i % 2 == 1) {
            evalJs(page, QStringLiteral("__korvantis.click(%1)").arg(id));
        }
    }
    std::sort(openMs.begin(), openMs.end());
    std::sort(closeMs.begin(), closeMs.end());
    std::printf("  open a node  (median / max)     %8.1f / %.1f ms\n", openMs[openMs.size() / 2],
                openMs.back());
    std::printf("  close a node (median / max)     %8.1f / %.1f ms\n", closeMs[closeMs.size() / 2],
                closeMs.back());

    evalJs(page, "__korvantis.expandBelow(0)");
    std::printf("  expand all below the root       %8.1f ms, drawn %.0f\n",
                number(page, "__korvantis.lastToggleMs"), number(page, "__korvantis.drawn"));
    std::printf(
        "  page says: %s\n",
        qPrintable(evalJs(page, "document.getElementById('status').textContent").toString()));

    QElapsedTimer roundTrip;
    roundTrip.start();
    evalJs(page, "1");
    std::printf("  script round trip after drawing %8lld ms\n",
                static_cast<long long>(roundTrip.elapsed()));
    std::fflush(stdout);

    window->close();
    spinUntil([&] { return window.isNull(); });
}

void runCase(const QString& log, const char* label, int windows, const QString& picture) {
    korvantis::SharedText tree;
    korvantis::SharedText facts;
    {
        QElapsedTimer t;
        t.start();
        korvantis::TaskQueue tasks;
        korvantis::Workspace workspace(tasks.poster());
        const korvantis::EventStore& store = workspace.store;
        workspace.loader.loadJsonFile(log.toStdString());
        tasks.runUntil([&] { return !workspace.loader.outcomes().empty(); });
        tree = store.sharedJsonTree();
        std::printf("%s: loaded %s in %lld ms, tree JSON %zu bytes, facts %zu bytes\n", label,
                    qPrintable(log), static_cast<long long>(t.elapsed()), tree->size(),
                    store.jsonTreeFacts().size());
        facts = store.sharedJsonTreeFacts();
    }

    korvantis::KorvantisApp app;
    for (int i = 0; i < windows; ++i) {
        openAndMeasure(app, tree, facts,
                       i == 0 ? "  first window (engine cold)" : "  another window (engine warm)",
                       i == 0 ? picture : QString());
    }
    // The same tree without its facts, for comparison.
    openAndMeasure(app, tree, nullptr, "  a window without facts (engine warm)", QString());
}

// The page's longest task while each large tree goes through it.
void runLargeTrees() {
    struct Case {
        const char* label;
        const char* tree;
        const char* query;
    };
    for (const Case& c : {Case{"300,000-node chain", "chain(300000)", "deepest"},
                          Case{"20,000-node bushy tree", "randomTree(20000, 3)", "n1"}}) {
        korvantis::WebViewData data;
        korvantis::WebView view(&data);
        view.resize(1200, 800);
        view.show();
        QWebEnginePage* page = view.webView()->page();
        if (!korvantis::test::waitForTree(page)) {
            std::printf("%s: the page did not load\n", c.label);
            continue;
        }
        const korvantis::test::PageTasks tasks = korvantis::test::runLargeTree(
            page, QString::fromLatin1(c.tree), QString::fromLatin1(c.query));
        std::printf("%s (%d nodes):\n", c.label, tasks.nodes);
        if (!tasks.failed.isEmpty()) {
            std::printf("  failed: %s\n", qPrintable(tasks.failed));
        }
        std::printf("  longest task of the page        %8.0f ms (%s)\n", tasks.longestMs,
                    qPrintable(tasks.longestStep));
        std::printf("  longest task per step, ms       %s\n", qPrintable(tasks.perStep));
        std::printf("  search \"%s\", query to picture %8.0f ms\n", c.query, tasks.searchMs);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    korvantis::test::prepareWebEngine();
    QApplication application(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--trees") {
        runLargeTrees();
        return 0;
    }
    const QString wide =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/genlog-1m.json");
    const QString deep =
        argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/genlog-deep-1m.json");
    if (!ensureLog(wide, QStringLiteral("1000000")) ||
        !ensureLog(deep, QStringLiteral("10 --deep 1000000"))) {
        std::fprintf(stderr, "could not generate the logs\n");
        return 1;
    }
    // Pictures of the first windows land in the current folder.
    runCase(wide, "1,000,000-line log", 2, QStringLiteral("treewindow-1m.png"));
    runCase(deep, "1,000,000-process chain", 1, QStringLiteral("treewindow-deep.png"));
    runLargeTrees();
    return 0;
}
