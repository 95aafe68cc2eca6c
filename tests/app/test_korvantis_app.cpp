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
#include "support/log_lines.h"
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

}  // namespace

class KorvantisAppTest : public QObject {
    Q_OBJECT

  private slots:
    void treeButtonOpensTheTreeOfThatMoment();
    void treeUrlTextsOpenTheirOwnWindows();
    void closingATreeWindowReleasesIt();
    void screenshotOfADrawnTree();
};

void KorvantisAppTest::treeButtonOpensTheTreeOfThatMoment() {
    QTemporaryDir dir;
    auto writeLog = [&](const QString& name, int pid, int ppid, const char* path) {
        const QString file = dir.filePath(name);
        std::ofstream(file.toStdString())
            << korvantis::testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", pid, ppid, path, "1")
            << '\n';
        return file.toStdString();
    };
    KorvantisApp app;
    auto* main = qobject_cast<korvantis::ui::MainView*>(app.openMainWindow());
    QVERIFY(main);
    QCOMPARE(main->windowTitle(), QStringLiteral("Korvantis"));
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
    main->store().loadJsonFile(writeLog("a.json", 100, 1, "/bin/zsh"));
    const QString treeA = QStringLiteral(
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh"}]}])");
    QTRY_COMPARE(QString::fromStdString(main->store().jsonTreeRaw()), treeA);
    QTest::mouseClick(tree, Qt::LeftButton);
    main->store().loadJsonFile(writeLog("b.json", 200, 100, "/usr/bin/git"));
    const QString treeAB = QStringLiteral(
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh","children":[{"name":"git"}]}]}])");
    QTRY_COMPARE(QString::fromStdString(main->store().jsonTreeRaw()), treeAB);
    QTest::mouseClick(tree, Qt::LeftButton);

    const QList<TreeWindow*> windows = app.treeWindows();
    QCOMPARE(opened.count(), 3);
    QCOMPARE(windows.size(), 3);
    const QStringList expected = {QString(), treeA, treeAB};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(opened.at(i).at(0).value<TreeWindow*>(), windows[i]);
        QCOMPARE(windows[i]->windowTitle(), QStringLiteral("Viewer"));
        QVERIFY(windows[i]->isVisible());
        QVERIFY(waitForTree(windows[i]));
        QCOMPARE(received(windows[i]), expected[i]);
    }
    QVERIFY(windows[1]->data() != windows[2]->data());
}

// Each URL text opens a window of its own; one that is no tree (bad base64,
// another scheme) opens an empty one.
void KorvantisAppTest::treeUrlTextsOpenTheirOwnWindows() {
    const QString tree = QString::fromUtf8(
        R"([{"name":"launchd","children":[{"name":"zwei \"2\" \u00fc"},{"name":"\/"}]}])");
    KorvantisApp app;
    TreeWindow* good =
        app.openTreeWindow(QString::fromStdString(korvantis::makeTreeUrlText(tree.toStdString())));
    TreeWindow* bad = app.openTreeWindow(QStringLiteral("KorvantisTree://not base64!"));
    TreeWindow* other = app.openTreeWindow(QStringLiteral("https://example.org/x"));
    QCOMPARE(app.treeWindows(), (QList<TreeWindow*>{good, bad, other}));
    QVERIFY(waitForTree(good));
    QCOMPARE(good->data()->d3Json(), tree);
    QCOMPARE(received(good), tree);
    QCOMPARE(evalJs(pageOf(good), "__korvantis.drawn").toInt(), 3);
    for (TreeWindow* w : {bad, other}) {
        QVERIFY(waitForTree(w));
        QVERIFY(w->data()->d3Json().isEmpty());
        QCOMPARE(evalJs(pageOf(w), "__korvantis.received === ''").toBool(), true);
    }
}

void KorvantisAppTest::closingATreeWindowReleasesIt() {
    KorvantisApp app;
    QPointer<TreeWindow> w =
        app.openTreeWindow(QString::fromStdString(korvantis::makeTreeUrlText(R"([{"name":"x"}])")));
    QPointer<korvantis::WebViewData> data = w->data();
    QPointer<QWebEngineView> view = w->webView()->webView();
    QVERIFY(waitForTree(w));
    QVERIFY(w->close());
    QTRY_VERIFY(w.isNull());
    QVERIFY(data.isNull());
    QVERIFY(view.isNull());
    QVERIFY(app.treeWindows().isEmpty());
}

// Saves a picture of a drawn tree to the build folder, for a person to look at.
void KorvantisAppTest::screenshotOfADrawnTree() {
    const std::string tree =
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage","children":[)"
        R"({"name":"agent"}]},{"name":"zsh","children":[{"name":"git","children":[)"
        R"({"name":"ssh"}]},{"name":"ls"},{"name":"make","children":[{"name":"clang"},)"
        R"({"name":"clang"}]}]},{"name":"Finder"},{"name":"Safari"}]}])";
    KorvantisApp app;
    TreeWindow* w = app.openTreeWindow(QString::fromStdString(korvantis::makeTreeUrlText(tree)));
    w->resize(1000, 700);
    QVERIFY(waitForTree(w));
    QVERIFY(waitForJs(pageOf(w), "__korvantis.paintedAt > 0"));
    const QImage image = w->grab().toImage();
    const QString path = QStringLiteral(KORVANTIS_SCREENSHOT_DIR "/tree-window.png");
    QVERIFY(image.save(path));
    qInfo("screenshot: %s", qPrintable(path));
}

KORVANTIS_WEB_TEST_MAIN(KorvantisAppTest)
#include "test_korvantis_app.moc"
