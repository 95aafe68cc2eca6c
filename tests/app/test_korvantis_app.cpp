// The application: its main windows (the first loading the command line's
// logs, more by Ctrl+N), and the tree windows opened by the Tree button or by
// tree URL texts, each drawing the tree it was handed.

#include <QAction>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QWindow>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "app/korvantis_app.h"
#include "index/index_cache.h"
#include "support/compressed_copies.h"
#include "support/log_lines.h"
#include "tree/tree_url.h"
#include "treeview/tree_window.h"
#include "treeview/web_view.h"
#include "treeview/web_view_data.h"
#include "ui/window/main_view.h"
#include "ui/window/top_bar_view.h"
#include "web_test_support.h"
#include "workspace/workspace.h"

using korvantis::KorvantisApp;
using korvantis::RowKind;
using korvantis::TreeWindow;
using korvantis::test::evalJs;
using korvantis::test::waitForJs;
using namespace Qt::StringLiterals;

namespace {

// An eslogger message of `kind` from `pid` (pid version 1) at second `second`,
// as a line of a log.
std::string esMessage(int pid, int ppid, double second, const QString& kind, QJsonObject body) {
    const QJsonObject token{{"pid", pid}, {"pidversion", 1}};
    const QJsonObject message{{"time", QStringLiteral("2026-01-05T09:12:0%1Z").arg(second)},
                              {"process", QJsonObject{{"audit_token", token}, {"ppid", ppid}}},
                              {"event", QJsonObject{{kind, body}}}};
    return QJsonDocument(message).toJson(QJsonDocument::Compact).toStdString() + '\n';
}

// A log of exec events, one (pid, ppid, path) each: the viewer's own records,
// or eslogger's, a second apart, then the second one's exit (it ran 2.5 s).
std::string writeExecLog(const QTemporaryDir& dir, const QString& name,
                         const QList<std::tuple<int, int, QString>>& processes,
                         bool eslogger = false) {
    const std::string file = dir.filePath(name).toStdString();
    std::ofstream out(file);
    int second = 0;
    for (const auto& [pid, ppid, path] : processes) {
        const QJsonObject target{{"audit_token", QJsonObject{{"pid", pid}, {"pidversion", 1}}},
                                 {"ppid", ppid},
                                 {"executable", QJsonObject{{"path", path}}}};
        out << (eslogger ? esMessage(pid, ppid, ++second, "exec", {{"target", target}})
                         : korvantis::testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", pid, ppid,
                                                            path.toStdString(), "1") +
                               '\n');
    }
    if (eslogger) {
        out << esMessage(std::get<0>(processes[1]), 0, 4.5, "exit", {{"stat", 0}});
    }
    return file;
}

QWebEnginePage* pageOf(TreeWindow* window) {
    return window->webView()->webView()->page();
}

bool waitForTree(TreeWindow* window) {
    return korvantis::test::waitForTree(pageOf(window));
}

// A main window with a loaded log and the tree window its Tree button opened,
// its page drawn and its facts arrived.
struct TreeFromMainWindow {
    KorvantisApp app;
    QTemporaryDir dir;
    QPointer<korvantis::ui::MainView> main;
    TreeWindow* tree = nullptr;

    // launchd > [Untracked Heritage, zsh 100 > [git 200 > [ssh 400], hostile 300]]
    static inline const QString kHostileDir = u"/Apps/</script><script>x=1<\\"_s;
    static inline const QString kHostileName =
        u"say \"it's\" <img src=x onerror=window.__pwned=1>"_s;

    bool open() {
        main = qobject_cast<korvantis::ui::MainView*>(app.openMainWindow());
        main->workspace().loader.loadJsonFile(
            writeExecLog(dir, "log.json",
                         {{100, 1, "/bin/zsh"},
                          {200, 100, "/usr/bin/git"},
                          {300, 100, kHostileDir + "/" + kHostileName},
                          {400, 200, "/usr/bin/ssh"}},
                         true));
        if (!QTest::qWaitFor([&] { return !main->workspace().store.jsonTreeFacts().empty(); },
                             60000)) {
            return false;
        }
        main->topBar()->openTree();
        tree = app.treeWindows().value(0);
        return tree && waitForTree(tree) &&
               waitForJs(pageOf(tree), "__korvantis.facts === 'ready'");
    }
    QVariant js(const QString& script) { return evalJs(pageOf(tree), script); }
    // The drawn node whose name begins with `name`, as a script expression.
    static QString node(const QString& name) {
        return QStringLiteral(
                   "d3.selectAll('.node').filter(d => d.data.name.startsWith('%1')).node()")
            .arg(name);
    }
    QVariant dispatch(const QString& name, const char* type) {
        return js(QStringLiteral("%1.dispatchEvent(new MouseEvent('%2', {bubbles: true, "
                                 "cancelable: true, clientX: 200, clientY: 150}))")
                      .arg(node(name), QLatin1String(type)));
    }
    void typeSearch(const QString& text) {
        js(QStringLiteral("{const s = document.getElementById('search'); s.value = '%1';"
                          " s.dispatchEvent(new Event('input'));}")
               .arg(text));
    }
    void pressEnter(bool shift) {
        js(QStringLiteral("document.getElementById('search').dispatchEvent(new KeyboardEvent("
                          "'keydown', {key: 'Enter', shiftKey: %1}))")
               .arg(shift ? "true" : "false"));
    }
    QString tooltipOf(const QString& name) {
        dispatch(name, "mouseenter");
        return js("document.getElementById('tooltip').innerText").toString();
    }
    QStringList names(const QString& selector) {
        return js(u"Array.from(document.querySelectorAll('%1'), e => e.textContent)"_s.arg(
                      selector))
            .toStringList();
    }
};

}  // namespace

class KorvantisAppTest : public QObject {
    Q_OBJECT

  private slots:
    void treeButtonOpensTheTreeOfThatMoment();
    void treeUrlTextsOpenTheirOwnWindows();
    void treePageFindsAndDescribesNodes();
    void showEventsLeadsBackToTheOriginWindow();
    void commandLineLogsAndNewWindows();
    void standardInputLoadsThroughASpool();
    void aLogOpenedAgainComesFromItsIndex();
};

void KorvantisAppTest::treeButtonOpensTheTreeOfThatMoment() {
    QTemporaryDir dir;
    KorvantisApp app;
    auto* main = qobject_cast<korvantis::ui::MainView*>(app.openMainWindow());
    QCOMPARE(main->windowTitle(), u"Korvantis"_s);
    const QList<QPushButton*> buttons = main->findChildren<QPushButton*>();
    const auto tree = std::ranges::find_if(buttons, [](auto* b) { return b->text() == u"Tree"_s; });
    QVERIFY(tree != buttons.end());
    QSignalSpy opened(&app, &KorvantisApp::treeWindowOpened);

    // Each window gets the tree of its moment (what a window opened before any
    // load gets is the web view test's to check).
    // Two logs loaded one after the other, the button pressed after each.
    const QList<std::tuple<int, int, QString>> execs = {{100, 1, "/bin/zsh"},
                                                        {200, 100, "/usr/bin/git"}};
    const QStringList expected = {
        uR"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh"}]}])"_s,
        uR"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh","children":[{"name":"git"}]}]}])"_s};
    for (int i = 0; i < 2; ++i) {
        main->workspace().loader.loadJsonFile(writeExecLog(dir, u"%1.json"_s.arg(i), {execs[i]}));
        QTRY_COMPARE(QString::fromUtf8(main->workspace().store.jsonTreeRaw()), expected[i]);
        QTest::mouseClick(*tree, Qt::LeftButton);
    }

    const QList<TreeWindow*> windows = app.treeWindows();
    QCOMPARE(opened.count(), 2);
    QCOMPARE(windows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(opened.at(i).at(0).value<TreeWindow*>(), windows[i]);
        QCOMPARE(windows[i]->windowTitle(), u"Viewer"_s);
        QVERIFY(windows[i]->isVisible());
        QVERIFY(waitForTree(windows[i]));
        QCOMPARE(evalJs(pageOf(windows[i]), "__korvantis.received").toString(), expected[i]);
    }
    QVERIFY(windows[0]->data() != windows[1]->data());
}

// Each URL text opens a window of its own; one that is no tree opens an
// empty one (which texts are trees is the URL reader's to test). Closing one
// releases it.
void KorvantisAppTest::treeUrlTextsOpenTheirOwnWindows() {
    const QString tree = QString::fromUtf8(
        R"([{"name":"launchd","children":[{"name":"zwei \"2\" \u00fc"},{"name":"\/"}]}])");
    KorvantisApp app;
    TreeWindow* good =
        app.openTreeWindow(QString::fromStdString(korvantis::makeTreeUrlText(tree.toStdString())));
    TreeWindow* bad = app.openTreeWindow(u"KorvantisTree://not base64!"_s);
    QCOMPARE(app.treeWindows(), (QList<TreeWindow*>{good, bad}));
    QVERIFY(waitForTree(good));
    QCOMPARE(QString::fromUtf8(*good->data()->treeJson()), tree);
    QVERIFY(waitForTree(bad));
    QVERIFY(!bad->data()->treeJson());

    // A closed tree window is released with its page and data.
    QPointer<TreeWindow> closed = good;
    QPointer<korvantis::WebViewData> data = good->data();
    QPointer<QWebEngineView> view = good->webView()->webView();
    QVERIFY(good->close());
    QTRY_VERIFY(closed.isNull());
    QVERIFY(data.isNull() && view.isNull());
    QCOMPARE(app.treeWindows(), QList<TreeWindow*>{bad});
}

// Search by name and by pid opens the path to each match and highlights it,
// Enter steps through the matches; the tooltip gives a node's facts as text.
// Saves a picture of the window with a tooltip and a highlight to the build
// folder, for a person to look at.
void KorvantisAppTest::treePageFindsAndDescribesNodes() {
    TreeFromMainWindow t;
    QVERIFY(t.open());
    t.tree->resize(1000, 700);

    t.typeSearch(u"GIT"_s);
    QTRY_COMPARE(t.js("__korvantis.matches").toInt(), 1);
    QTRY_COMPARE(t.names(".node.match .name"), QStringList{u"git"_s});
    QCOMPARE(t.names(".node.current .name"), QStringList{u"git"_s});
    QCOMPARE(t.js("document.getElementById('found').textContent").toString(), u"1 of 1"_s);

    // ssh lies below git, which is closed: the search opens the way to it.
    QCOMPARE(t.js(TreeFromMainWindow::node("ssh") + " === null").toBool(), true);
    t.typeSearch(u"400"_s);
    QTRY_COMPARE(t.names(".node.current .name"), QStringList{u"ssh"_s});
    QCOMPARE(t.js("__korvantis.matches").toInt(), 1);

    // "i" is in three names, in tree order; Enter and Shift+Enter step round.
    t.typeSearch(u"i"_s);
    QTRY_COMPARE(t.js("__korvantis.matches").toInt(), 3);
    QTRY_COMPARE(t.names(".node.current .name"), QStringList{u"Untracked Heritage"_s});
    t.pressEnter(false);
    QCOMPARE(t.names(".node.current .name"), QStringList{u"git"_s});
    t.pressEnter(true);
    QCOMPARE(t.names(".node.current .name"), QStringList{u"Untracked Heritage"_s});
    t.pressEnter(true);
    QVERIFY(t.names(".node.current .name").value(0).startsWith(u"say"_s));
    QCOMPARE(t.names(".node.match").size(), 3);

    // The tooltip: every fact as text, nothing of a name or path made markup.
    const QString hostile = t.tooltipOf(u"say"_s);
    for (const QString& line : {TreeFromMainWindow::kHostileName, u"pid: 300"_s, u"ppid: 100"_s,
                                u"path: "_s + TreeFromMainWindow::kHostileDir + QLatin1Char('/') +
                                    TreeFromMainWindow::kHostileName,
                                u"descendants: 0"_s}) {
        QVERIFY2(hostile.split(QLatin1Char('\n')).contains(line), qPrintable(hostile));
    }
    QCOMPARE(t.js("document.querySelectorAll('img, script:not([src])').length").toInt(), 0);
    QCOMPARE(t.js("typeof window.__pwned").toString(), u"undefined"_s);
    // The window adds how the process's run ended, as its facts card says it.
    t.dispatch(u"git"_s, "mouseenter");
    QTRY_VERIFY(t.js("document.getElementById('tooltip').innerText")
                    .toString()
                    .contains(u"lifetime: ran 2.5 s, exit 0"_s));
    // Labels carry the pid next to the name.
    QCOMPARE(
        t.js(TreeFromMainWindow::node("zsh") + ".querySelector('.pid').textContent").toString(),
        u" 100"_s);

    // "Fit to window" brings every drawn node back into the picture.
    const QString allInside = QStringLiteral(
        "(() => { const box = document.getElementById('tree').getBoundingClientRect();"
        "  return Array.from(document.querySelectorAll('.node circle')).every(c => {"
        "    const r = c.getBoundingClientRect();"
        "    return r.left >= box.left && r.right <= box.right && r.top >= box.top &&"
        "           r.bottom <= box.bottom; }); })()");
    t.js("document.querySelector('.viewport').style.transform = 'translate(5000px,5000px)'");
    QCOMPARE(t.js(allInside).toBool(), false);
    t.js("document.getElementById('fit').click()");
    QCOMPARE(t.js(allInside).toBool(), true);
    t.tooltipOf(u"zsh"_s);  // for the picture below

    QVERIFY(waitForJs(pageOf(t.tree), "__korvantis.paintedAt > 0"));
    const QString path = QStringLiteral(KORVANTIS_SCREENSHOT_DIR "/tree-window.png");
    QVERIFY(t.tree->grab().toImage().save(path));
    qInfo("screenshot: %s", qPrintable(path));
}

// A double-click, or "Show events" in a node's menu, asks the main window that
// opened the tree for "tree:PID" and raises it; once that window is gone the
// entry is disabled and a double-click does nothing.
void KorvantisAppTest::showEventsLeadsBackToTheOriginWindow() {
    TreeFromMainWindow t;
    QVERIFY(t.open());
    QSignalSpy asked(t.main.data(), &korvantis::ui::MainView::filterQueryRequested);
    t.tree->activateWindow();
    QTRY_VERIFY(t.tree->isActiveWindow());

    t.dispatch(u"git"_s, "dblclick");
    QTRY_COMPARE(asked.count(), 1);
    QCOMPARE(asked.at(0).at(0).toString(), u"tree:200"_s);
    QTRY_VERIFY(t.main->isActiveWindow());

    const QString eventsEntry = u"document.querySelector('#menu [data-action=events]')"_s;
    t.dispatch(u"zsh"_s, "contextmenu");
    QCOMPARE(t.js("document.getElementById('menu').hidden").toBool(), false);
    QCOMPARE(t.js(eventsEntry + ".disabled").toBool(), false);
    t.js(eventsEntry + ".click()");
    QTRY_COMPARE(asked.count(), 2);
    QCOMPARE(asked.at(1).at(0).toString(), u"tree:100"_s);
    QCOMPARE(t.js("document.getElementById('menu').hidden").toBool(), true);

    t.dispatch(u"zsh"_s, "contextmenu");
    QVERIFY(t.main->close());
    QTRY_VERIFY(t.main.isNull());
    QVERIFY(waitForJs(pageOf(t.tree), "!__korvantis.canShowEvents"));
    QCOMPARE(t.js(eventsEntry + ".disabled").toBool(), true);
    t.js("__korvantis.shownEvents = null");
    t.dispatch(u"git"_s, "dblclick");
    QCOMPARE(t.js("__korvantis.shownEvents").isNull(), true);
}

// `korvantis A MISSING DIR B`: one window, A's rows then B's, MISSING and DIR
// named on standard error. Ctrl+N, in a main window or in a tree window left without
// one, opens a main window with a store of its own.
void KorvantisAppTest::commandLineLogsAndNewWindows() {
    using korvantis::ui::MainView;
    QTemporaryDir dir;
    const QString a = QString::fromStdString(
        writeExecLog(dir, "a.json", {{100, 1, "/bin/zsh"}, {200, 100, "/usr/bin/git"}}));
    const QString b = QString::fromStdString(writeExecLog(dir, "b.json", {{300, 1, "/bin/ls"}}));
    const QString missing = dir.filePath(u"missing.json"_s);

    KorvantisApp app;
    korvantis::test::StreamCapture err(STDERR_FILENO);
    auto* main = qobject_cast<MainView*>(app.start({a, missing, dir.path(), b}));
    const QByteArray told = err.finish();
    QVERIFY(main && main->isVisible());
    QCOMPARE(app.mainWindows().size(), 1);
    QCOMPARE(QString::fromLocal8Bit(told),
             u"korvantis: cannot open %1\nkorvantis: cannot open %2\n"_s.arg(missing, dir.path()));

    const korvantis::EventStore& store = main->workspace().store;
    QTRY_VERIFY_WITH_TIMEOUT(
        main->workspace().loader.idle() && store.rows(RowKind::process).size() == 3, 60000);
    QCOMPARE(store.rows(RowKind::process)[2].pid, std::int64_t{300});
    QCOMPARE(main->windowTitle(), u"Korvantis \u2014 a.json +1"_s);

    // Ctrl+N in the main window: a second one, empty.
    main->windowHandle()->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(main));
    QTest::keyClick(main, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(app.mainWindows().size(), 2);
    auto* second = qobject_cast<MainView*>(app.mainWindows()[1]);
    QVERIFY(second && second->isVisible());
    QCOMPARE(second->workspace().store.rows(RowKind::process).size(), 0u);
    QCOMPARE(second->windowTitle(), u"Korvantis"_s);

    // A tree window outlives the main windows and leads back to a new one.
    main->topBar()->openTree();
    QCOMPARE(app.treeWindows().size(), 1);
    TreeWindow* tree = app.treeWindows()[0];
    QVERIFY(waitForTree(tree));
    for (QWidget* w : app.mainWindows()) {
        w->close();
    }
    QTRY_VERIFY(app.mainWindows().isEmpty());
    tree->windowHandle()->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(tree));
    QTest::keyClick(tree, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(app.mainWindows().size(), 1);
    QVERIFY(app.mainWindows()[0]->isVisible());
}

// korvantis -: what comes down the pipe (here gzip data) loads as a log named
// "standard input", kept in a spool of the cache folder that goes with its
// window (that the spool is owner-only and holds the bytes as they came is
// SpooledInput.FifoIsReadThroughASpool's to check).
void KorvantisAppTest::standardInputLoadsThroughASpool() {
    QTemporaryDir dir;
    qputenv("XDG_CACHE_HOME", dir.path().toLocal8Bit());
    const QDir spools(dir.filePath(u"korvantis"_s));
    int ends[2];
    QVERIFY(::pipe(ends) == 0);
    const int savedIn = ::dup(0);
    ::dup2(ends[0], 0);
    ::close(ends[0]);
    KorvantisApp app;
    auto* main = qobject_cast<korvantis::ui::MainView*>(app.start({u"-"_s}));
    // The load takes its own copy of standard input when it makes the spool.
    QTRY_COMPARE(spools.entryList(QDir::Files).size(), 1);
    ::dup2(savedIn, 0);
    ::close(savedIn);

    const std::string lines =
        korvantis::testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100, 1, "/bin/zsh") + "\n" +
        korvantis::testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 200, 100, "/bin/ls") + "\n";
    const std::string gz = korvantis::testsupport::gzipped(lines);
    QCOMPARE(::write(ends[1], gz.data(), gz.size()), static_cast<ssize_t>(gz.size()));
    ::close(ends[1]);
    const korvantis::EventStore& store = main->workspace().store;
    QTRY_VERIFY(main->workspace().loader.idle() && store.rows(RowKind::process).size() == 2);
    QTRY_COMPARE(main->windowTitle(), u"Korvantis \u2014 standard input"_s);
    QCOMPARE(store.lineText(korvantis::LinePlace(1)).value_or(""),
             lines.substr(lines.find('\n') + 1, lines.size() - lines.find('\n') - 2));

    main->close();
    QTRY_COMPARE(spools.entryList(QDir::Files).size(), 0);
    qunsetenv("XDG_CACHE_HOME");
}

// A log opened again in a window of an app with an index cache is read from
// its index; an index damaged since is told in the load strip, and the log
// loaded afresh. (That the rows and tree read from an index are those of the
// log is IndexReopen's to check.)
void KorvantisAppTest::aLogOpenedAgainComesFromItsIndex() {
    using korvantis::ui::MainView;
    QTemporaryDir dir;
    const std::string log =
        writeExecLog(dir, "a.json", {{100, 1, "/bin/zsh"}, {200, 100, "/usr/bin/git"}});
    auto cache = std::make_shared<korvantis::IndexCache>(dir.filePath(u"index"_s).toStdString());
    KorvantisApp app;
    app.setIndexCache(cache);
    auto loaded = [&]() -> MainView* {
        auto* main = qobject_cast<MainView*>(app.start(std::vector<std::string>{log}));
        const korvantis::LogLoader& loader = main->workspace().loader;
        if (!QTest::qWaitFor([&] { return loader.idle() && loader.outcomes().size() == 1; })) {
            return nullptr;
        }
        return main;
    };
    MainView* first = loaded();
    QVERIFY(first);
    QVERIFY(!first->workspace().loader.outcomes()[0].fromIndex);
    MainView* again = loaded();
    QVERIFY(again);
    QVERIFY(again->workspace().loader.outcomes()[0].fromIndex);
    QCOMPARE(again->workspace().store.rows(RowKind::process).size(), 2u);

    const auto realPath = korvantis::IndexCache::realPathOf(log);
    QVERIFY(realPath);
    std::filesystem::resize_file(cache->pathFor(*realPath), 10);
    MainView* damaged = loaded();
    QVERIFY(damaged);
    QVERIFY(!damaged->workspace().loader.outcomes()[0].fromIndex);
    auto told = [damaged] {
        for (const QLabel* label : damaged->findChildren<QLabel*>()) {
            if (label->isVisible() &&
                label->text().contains(u"a.json: its index cannot be used ("_s)) {
                return true;
            }
        }
        return false;
    };
    QTRY_VERIFY(told());

    // File > Forget Cached Indexes removes the index made anew; the rows stay.
    const std::string index = cache->pathFor(*realPath);
    QVERIFY(std::filesystem::exists(index));
    QAction* forget = nullptr;
    for (QAction* action : damaged->findChildren<QAction*>()) {
        forget = action->text() == u"Forget Cached Indexes"_s ? action : forget;
    }
    QVERIFY(forget);
    forget->trigger();
    QVERIFY(!std::filesystem::exists(index));
    QCOMPARE(damaged->workspace().store.rows(RowKind::process).size(), 2u);
}

KORVANTIS_WEB_TEST_MAIN(KorvantisAppTest)
#include "test_korvantis_app.moc"
