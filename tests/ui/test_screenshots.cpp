// Saves pictures of the main window in its typical states for a person to
// look at: empty, loaded with a chosen row, a chosen row with a long unbroken
// path (wrapped, the copy button in view), one with a right-to-left path, the
// legend, the error list, the files on a dark palette, an eslogger recording
// with a chosen event, its facts as columns and card, its other events and
// the notice of its lost messages, and the progress strip
// while a big log loads.

#include <QDir>
#include <QTabWidget>

#include <fstream>

#include "ui/facts_card_view.h"
#include "ui/load_progress_view.h"
#include "ui/lost_messages_strip.h"
#include "ui/timeline_strip.h"
#include "ui_test_support.h"

using namespace korvantis::ui;
using namespace korvantis::ui::testing;

class ScreenshotTest : public QObject {
    Q_OBJECT

  private:
    const QString outDir_ = QStringLiteral(KORVANTIS_SCREENSHOT_DIR);

    // Saves the window under `name` in the build folder, once what is queued
    // for it has been handled.
    void save(QWidget& w, const char* name) {
        QCoreApplication::processEvents();
        const QString path = QDir(outDir_).filePath(QLatin1String(name));
        QVERIFY2(w.grab().save(path), qPrintable(path));
        qInfo("saved %s", qPrintable(path));
    }

  private slots:
    void loading() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid() && QDir().mkpath(outDir_));
        const QString log = dir.filePath(QStringLiteral("eslogger-trace.json"));
        {
            std::ofstream out(log.toStdString());
            for (int i = 0; i < 400000; ++i) {
                out << procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100 + i % 5000, 1,
                                QStringLiteral("/usr/bin/tool%1").arg(i % 97))
                           .toStdString()
                    << '\n';
            }
        }
        MainView view([](const korvantis::ui::TreeRequest&) {});
        view.resize(1400, 860);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Two more behind it, so that the strip counts them.
        for (int i = 0; i < 3; ++i) {
            view.workspace().loader.loadJsonFile(log.toStdString());
        }
        LoadProgressView* strip = view.topBar()->loadProgress();
        QTRY_VERIFY_WITH_TIMEOUT(strip->isVisible() && procPreview(view)->rows().rowCount() > 1000,
                                 20000);
        save(view, "main-loading.png");
        view.workspace().loader.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().loader.idle(), 20000);
        save(view, "main-cancelled.png");
    }

    void states() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid() && QDir().mkpath(outDir_));
        MainView view([](const korvantis::ui::TreeRequest&) {});
        view.resize(1400, 860);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        save(view, "main-empty.png");

        // A row whose timestamp and path wrap, a family of processes, their files, errors.
        QStringList lines = {
            procLine("ES_EVENT_TYPE_NOTIFY_FORK", 1, 0, "/sbin/launchd"),
            procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 103, 101,
                     "/Applications/Some Very Long Name.app/Contents/MacOS/" + QString(90, 'w'),
                     "2026-12-06T10:00:00.123456789+00:00 (a long stamp)")};
        const char* bins[] = {"/bin/zsh", "/usr/bin/git", "/usr/libexec/xpcproxy", "/bin/ls"};
        for (int i = 0; i < 40; ++i) {
            const qint64 pid = 100 + i % 7;
            lines << procLine(i % 2 ? "ES_EVENT_TYPE_NOTIFY_EXEC" : "ES_EVENT_TYPE_NOTIFY_FORK",
                              pid, pid == 100 ? 1 : 100 + (i % 7) / 2, bins[i % 4],
                              QStringLiteral("1765000000.%1").arg(100000 + i * 1371))
                  << fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", pid,
                              QStringLiteral("/Users/alice/Documents/report-%1.txt").arg(i));
        }
        const QString longPath = QStringLiteral("/Users/alice/") + QString(500, QLatin1Char('n')) +
                                 QStringLiteral(".txt");
        lines << procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 107, 100, longPath)
              << procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 108, 100,
                          QStringLiteral("/Applications/עברית/برنامج/.config/run"));
        lines << QStringLiteral("{not json /Applications/עברית/برنامج") << QString()
              << QStringLiteral(R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"1"})");
        view.workspace().loader.loadJsonFile(writeLog(dir, "shots.json", lines).toStdString());
        QTRY_VERIFY_WITH_TIMEOUT(procPreview(view)->rows().rowCount() == 44, 20000);
        PreviewList* list = procPreview(view)->list();
        clickRow(list, 42);
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().selection.activePreview()->pid == 107, 20000);
        save(view, "main-long-path.png");
        clickRow(list, 43);
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().selection.activePreview()->pid == 108, 20000);
        save(view, "main-rtl-path.png");
        clickRow(list, 5);
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().selection.activePreview()->pid == 103, 20000);
        save(view, "main-loaded-selected.png");

        view.topBar()->legendButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().switches.showLegend(), 20000);
        save(view, "main-legend.png");
        view.topBar()->errorsButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().switches.showErrors(), 20000);
        save(view, "main-errors.png");

        // Last, the files on a dark palette: unmarked cells in white.
        view.tabs()->setCurrentIndex(1);
        clickRow(filePreview(view)->list(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().selection.activeFilePreview().has_value(), 20000);
        const QColor fg(220, 220, 220);
        view.setPalette(QPalette(fg, QColor(60, 60, 64), QColor(90, 90, 96), QColor(20, 20, 22),
                                 QColor(40, 40, 44), fg, Qt::white, QColor(30, 30, 32),
                                 QColor(45, 45, 48)));
        save(view, "main-files-dark.png");
    }

    void eslogger() {
        MainView view([](const korvantis::ui::TreeRequest&) {});
        view.resize(1400, 860);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.workspace().loader.loadJsonFile(KORVANTIS_SAMPLES_DIR "/eslogger.json");
        QTRY_VERIFY_WITH_TIMEOUT(procPreview(view)->rows().rowCount() == 7, 20000);
        clickRow(procPreview(view)->list(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().selection.activePreview().has_value(), 20000);
        save(view, "main-eslogger.png");
        // The facts as columns and as the card of the chosen exec.
        ColumnChoice& columns = procPreview(view)->columnChoice();
        columns.setShown(factKey(korvantis::Fact::args), true);
        columns.setShown(factKey(korvantis::Fact::uid), true);
        clickRow(procPreview(view)->list(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().selection.activePreview()->pid == 402, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(
            view.processPanel()->detail()->eventTextView()->card()->isVisible(), 20000);
        save(view, "main-facts.png");
        // The other kinds in their own tab, one of them chosen; the notice
        // of the messages the sample's numbering says are missing.
        QTRY_COMPARE_WITH_TIMEOUT(view.tabs()->count(), 3, 20000);
        view.resize(1600, 860);  // the Summary column in view beside a 300-pixel Path
        view.tabs()->setCurrentIndex(2);
        EventPreview* others = view.otherPanel()->preview();
        QTRY_VERIFY_WITH_TIMEOUT(others->list()->isVisible(), 20000);
        clickRow(others->list(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(view.workspace().selection.activeOtherPreview().has_value(),
                                 20000);
        save(view, "main-other-events.png");
        QTRY_VERIFY_WITH_TIMEOUT(view.lostMessagesStrip()->isVisible(), 20000);
        save(view, "main-lost-messages.png");
    }

    void timeline() {
        MainView view([](const korvantis::ui::TreeRequest&) {});
        view.resize(1400, 860);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.workspace().loader.loadJsonFile(KORVANTIS_SAMPLES_DIR "/sample.json");
        QTRY_VERIFY_WITH_TIMEOUT(procPreview(view)->rows().rowCount() == 7, 20000);
        TimelineStrip* strip = view.timeline();
        QTRY_VERIFY_WITH_TIMEOUT(strip->counted() && !strip->allSlices().slices().empty(), 20000);
        QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(strip->width() / 4, 10));
        QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(strip->width() * 3 / 4, 10));
        QTRY_VERIFY_WITH_TIMEOUT(procPreview(view)->rows().rowCount() < 7 && strip->counted(),
                                 20000);
        save(view, "main-timeline.png");
    }
};

QTEST_MAIN(ScreenshotTest)
#include "test_screenshots.moc"
