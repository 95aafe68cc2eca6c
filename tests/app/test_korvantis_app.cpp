// The application: its main window, and the tree windows opened by the Tree
// button or by tree URL texts, each drawing the tree it was handed.

#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <fstream>

#include "app/korvantis_app.h"
#include "app/tree_window.h"
#include "store/event_keeper.h"
#include "tree/tree_url.h"
#include "tree/web_view.h"
#include "tree/web_view_data.h"
#include "ui/main_view.h"
#include "web_test_support.h"

using korvantis::KorvantisApp;
using korvantis::TreeWindow;
using korvantis::test::evalJs;
using korvantis::test::waitForJs;

namespace {

QWebEnginePage* pageOf(TreeWindow* window) {
    return window->webView()->webView()->page();
}

bool waitForTree(TreeWindow* window) {
    return waitForJs(pageOf(window), "window.__korvantis && __korvantis.calls === 1");
}

QString received(TreeWindow* window) {
    return evalJs(pageOf(window), "__korvantis.received").toString();
}

QString treeUrl(const QString& json) {
    return QString::fromStdString(korvantis::makeTreeUrlText(json.toStdString()));
}

QString execLine(int pid, int ppid, const char* path) {
    return QStringLiteral(
               R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1","process":{"pid":%1,"ppid":%2,"path":"%3"}})")
        .arg(pid)
        .arg(ppid)
        .arg(QLatin1String(path));
}

// A tree of some breadth and depth, named like real processes.
QString sampleTree() {
    const char* apps[] = {"zsh", "Safari", "Finder", "ssh", "git", "python3", "node", "make"};
    QString json = QStringLiteral(
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage","children":[{"name":"orphan"}]},)");
    for (int i = 0; i < 8; ++i) {
        json += QStringLiteral(R"({"name":"%1","children":[)").arg(QLatin1String(apps[i]));
        for (int j = 0; j <= i; ++j) {
            json += QStringLiteral(R"({"name":"%1","children":[{"name":"ls"},{"name":"cat"}]},)")
                        .arg(QLatin1String(apps[(i + j + 1) % 8]));
        }
        json.chop(1);
        json += QStringLiteral("]},");
    }
    json.chop(1);
    json += QStringLiteral("]}]");
    return json;
}

}  // namespace

class KorvantisAppTest : public QObject {
    Q_OBJECT

  private slots:
    void mainWindowIsTitledKorvantis();
    void treeWindowsKeepTheirOwnTrees();
    void invalidBase64OpensAnEmptyWindow();
    void closingATreeWindowReleasesIt();
    void treeButtonOpensTheTreeOfThatMoment();
    void screenshotOfADrawnTree();
};

void KorvantisAppTest::mainWindowIsTitledKorvantis() {
    KorvantisApp app;
    QWidget* window = app.openMainWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Korvantis"));
    QVERIFY(window->isVisible());
    QVERIFY(qobject_cast<korvantis::ui::MainView*>(window));
    QCOMPARE(app.mainWindows().size(), 1);
    QVERIFY(app.treeWindows().isEmpty());
}

void KorvantisAppTest::treeWindowsKeepTheirOwnTrees() {
    const QString first = QStringLiteral(R"([{"name":"launchd","children":[{"name":"one"}]}])");
    const QString second = QString::fromUtf8(
        R"([{"name":"launchd","children":[{"name":"zwei \"2\" \u00fc"},{"name":"\/"}]}])");
    KorvantisApp app;
    TreeWindow* a = app.openTreeWindow(treeUrl(first));
    TreeWindow* b = app.openTreeWindow(treeUrl(second));
    QVERIFY(a != b);
    QCOMPARE(app.treeWindows(), (QList<TreeWindow*>{a, b}));
    for (TreeWindow* w : {a, b}) {
        QCOMPARE(w->windowTitle(), QStringLiteral("Viewer"));
        QVERIFY(w->isVisible());
        QVERIFY(waitForTree(w));
    }
    QVERIFY(a->data() != b->data());
    QCOMPARE(a->data()->d3Json(), first);
    QCOMPARE(b->data()->d3Json(), second);
    QCOMPARE(received(a), first);
    QCOMPARE(received(b), second);
    QCOMPARE(evalJs(pageOf(b), "__korvantis.drawn").toInt(), 3);
}

void KorvantisAppTest::invalidBase64OpensAnEmptyWindow() {
    KorvantisApp app;
    TreeWindow* w = app.openTreeWindow(QStringLiteral("KorvantisTree://not base64!"));
    QVERIFY(waitForTree(w));
    QVERIFY(w->data()->d3Json().isEmpty());
    QCOMPARE(evalJs(pageOf(w), "__korvantis.received === ''").toBool(), true);
    // Another scheme is read as base64 as a whole, and is no tree either.
    TreeWindow* other = app.openTreeWindow(QStringLiteral("https://example.org/x"));
    QVERIFY(waitForTree(other));
    QVERIFY(other->data()->d3Json().isEmpty());
}

void KorvantisAppTest::closingATreeWindowReleasesIt() {
    KorvantisApp app;
    QPointer<TreeWindow> w = app.openTreeWindow(treeUrl(QStringLiteral(R"([{"name":"x"}])")));
    QPointer<korvantis::WebViewData> data = w->data();
    QPointer<QWebEngineView> view = w->webView()->webView();
    QVERIFY(waitForTree(w));
    QVERIFY(w->close());
    QTRY_VERIFY(w.isNull());
    QVERIFY(data.isNull());
    QVERIFY(view.isNull());
    QVERIFY(app.treeWindows().isEmpty());
}

void KorvantisAppTest::treeButtonOpensTheTreeOfThatMoment() {
    QTemporaryDir dir;
    auto writeLog = [&](const QString& name, const QStringList& lines) {
        const QString path = dir.filePath(name);
        std::ofstream out(path.toStdString());
        for (const QString& line : lines) {
            out << line.toStdString() << '\n';
        }
        return path;
    };
    const QString first = writeLog("a.json", {execLine(100, 1, "/bin/zsh")});
    const QString second = writeLog("b.json", {execLine(200, 100, "/usr/bin/git")});

    KorvantisApp app;
    auto* main = qobject_cast<korvantis::ui::MainView*>(app.openMainWindow());
    QVERIFY(main);
    QPushButton* tree = nullptr;
    for (QPushButton* button : main->findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("Tree")) {
            tree = button;
        }
    }
    QVERIFY(tree);
    QSignalSpy opened(&app, &KorvantisApp::treeWindowOpened);

    // Before any load the page receives the empty string.
    QTest::mouseClick(tree, Qt::LeftButton);
    QCOMPARE(opened.count(), 1);

    main->store().loadJsonFile(first.toStdString());
    const QString treeA = QStringLiteral(
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh"}]}])");
    QTRY_COMPARE(QString::fromStdString(main->store().jsonTreeRaw()), treeA);
    QTest::mouseClick(tree, Qt::LeftButton);

    main->store().loadJsonFile(second.toStdString());
    const QString treeAB = QStringLiteral(
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh","children":[{"name":"git"}]}]}])");
    QTRY_COMPARE(QString::fromStdString(main->store().jsonTreeRaw()), treeAB);
    QTest::mouseClick(tree, Qt::LeftButton);

    QCOMPARE(opened.count(), 3);
    const QList<TreeWindow*> windows = app.treeWindows();
    QCOMPARE(windows.size(), 3);
    const QStringList expected = {QString(), treeA, treeAB};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(opened.at(i).at(0).value<TreeWindow*>(), windows[i]);
        QVERIFY(waitForTree(windows[i]));
        QCOMPARE(received(windows[i]), expected[i]);
    }
}

void KorvantisAppTest::screenshotOfADrawnTree() {
    KorvantisApp app;
    TreeWindow* w = app.openTreeWindow(treeUrl(sampleTree()));
    w->resize(1000, 700);
    QVERIFY(waitForTree(w));
    QVERIFY(waitForJs(pageOf(w), "__korvantis.paintedAt > 0"));
    QTest::qWait(500);
    const QImage image = w->grab().toImage();
    QVERIFY(!image.isNull());
    // Something besides the background was drawn.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            colours.insert(image.pixel(x, y));
        }
    }
    QVERIFY2(colours.size() > 8, "the grabbed window is blank");
    const QString path = QStringLiteral(KORVANTIS_SCREENSHOT_DIR "/tree-window.png");
    QVERIFY(image.save(path));
    qInfo("screenshot: %s", qPrintable(path));
}

KORVANTIS_WEB_TEST_MAIN(KorvantisAppTest)
#include "test_korvantis_app.moc"
