// Saves pictures of the main window in its typical states for a person to
// look at: empty, loaded with a chosen row, a chosen row with a long unbroken
// path (wrapped, the copy button in view), one with a right-to-left path, the
// legend, the error list, the files on a dark palette, an eslogger recording
// with a chosen event, its facts as columns and card, its other events and
// the notice of its lost messages, the progress strip while a big log
// loads, the timeline with a range chosen and the summary of a trace.

#include <QDir>

#include "ui_test_support.h"

using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

// A window of a laptop's size, on screen, with the sample `sample` loaded
// (none when empty) until its `rows` process rows are shown.
struct Window : ShownWindow {
    explicit Window(const char* sample = nullptr, int rows = 0) : ShownWindow(1400, 860) {
        QVERIFY(QDir().mkpath(QStringLiteral(KORVANTIS_SCREENSHOT_DIR)));
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        if (sample) {
            load(QStringLiteral(KORVANTIS_SAMPLES_DIR "/") + QLatin1String(sample), rows);
        }
    }
    // Chooses a row of `preview` and waits until the choice has come through
    // and its detail is shown.
    void choose(EventPreview* preview, int row, const std::function<bool()>& chosen) {
        clickRow(preview->list(), row);
        TRY_VERIFY(chosen() && !selection().detailPending());
    }
};

// Saves `w` under `name` in the build folder, once what is queued for it
// has been handled.
void save(QWidget& w, const char* name) {
    QCoreApplication::processEvents();
    const QString path = QDir(QStringLiteral(KORVANTIS_SCREENSHOT_DIR)).filePath(name);
    QVERIFY2(w.grab().save(path), qPrintable(path));
    qInfo("saved %s", qPrintable(path));
}

// A row whose timestamp and path wrap, a family of processes, their files,
// rows with a long and a right-to-left path, and errors.
QStringList familyLog() {
    QStringList lines = {
        procLine("ES_EVENT_TYPE_NOTIFY_FORK", 1, 0, "/sbin/launchd"),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 103, 101,
                 "/Applications/Some Very Long Name.app/Contents/MacOS/" + QString(90, 'w'),
                 "2026-12-06T10:00:00.123456789+00:00 (a long stamp)")};
    const char* bins[] = {"/bin/zsh", "/usr/bin/git", "/usr/libexec/xpcproxy", "/bin/ls"};
    for (int i = 0; i < 40; ++i) {
        const qint64 pid = 100 + i % 7;
        lines << procLine(i % 2 ? "ES_EVENT_TYPE_NOTIFY_EXEC" : "ES_EVENT_TYPE_NOTIFY_FORK", pid,
                          pid == 100 ? 1 : 100 + (i % 7) / 2, bins[i % 4],
                          u"1765000000.%1"_s.arg(100000 + i * 1371))
              << fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", pid,
                          u"/Users/alice/Documents/report-%1.txt"_s.arg(i));
    }
    lines << procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 107, 100,
                      u"/Users/alice/"_s + QString(500, 'n') + u".txt"_s)
          << procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 108, 100,
                      u"/Applications/עברית/برنامج/.config/run"_s);
    lines << u"{not json /Applications/עברית/برنامج"_s << QString()
          << QStringLiteral(R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"1"})");
    return lines;
}

}  // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

  private slots:
    void loading() {
        QTemporaryDir dir;
        const QString log = dir.filePath(u"eslogger-trace.json"_s);
        {
            std::ofstream out(log.toStdString());
            for (int i = 0; i < 400000; ++i) {
                out << procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100 + i % 5000, 1,
                                u"/usr/bin/tool%1"_s.arg(i % 97))
                           .toStdString()
                    << '\n';
            }
        }
        Window w;
        // Two more behind it, so that the strip counts them.
        for (int i = 0; i < 3; ++i) {
            w.workspace().loader.loadJsonFile(log.toStdString());
        }
        TRY_VERIFY(w.bar()->loadProgress()->isVisible() && w.procs().rowCount() > 1000);
        save(w.view, "main-loading.png");
        w.workspace().loader.cancel();
        TRY_VERIFY(w.workspace().loader.idle());
        save(w.view, "main-cancelled.png");
    }

    void states() {
        QTemporaryDir dir;
        Window w;
        save(w.view, "main-empty.png");

        w.load(writeLog(dir, "shots.json", familyLog()), 44);
        const struct {
            int row;
            qint64 pid;
            const char* name;
        } chosen[] = {{42, 107, "main-long-path.png"},
                      {43, 108, "main-rtl-path.png"},
                      {5, 103, "main-loaded-selected.png"}};
        for (const auto& c : chosen) {
            w.choose(w.procPreview(), c.row,
                     [&] { return w.selection().activePreview()->pid == c.pid; });
            save(w.view, c.name);
        }

        w.bar()->legendButton()->click();
        TRY_VERIFY(w.workspace().switches.showLegend());
        save(w.view, "main-legend.png");
        w.bar()->errorsButton()->click();
        TRY_VERIFY(w.workspace().switches.showErrors());
        save(w.view, "main-errors.png");

        // Last, the files on a dark palette: unmarked cells in white.
        w.view.tabs()->setCurrentIndex(1);
        w.choose(w.filePreview(), 3, [&] { return w.selection().activeFilePreview().has_value(); });
        const QColor fg(220, 220, 220);
        w.view.setPalette(QPalette(fg, QColor(60, 60, 64), QColor(90, 90, 96), QColor(20, 20, 22),
                                   QColor(40, 40, 44), fg, Qt::white, QColor(30, 30, 32),
                                   QColor(45, 45, 48)));
        save(w.view, "main-files-dark.png");
    }

    void eslogger() {
        Window w("eslogger.json", 7);
        w.choose(w.procPreview(), 1, [&] { return w.selection().activePreview().has_value(); });
        save(w.view, "main-eslogger.png");
        // The facts as columns and as the card of the chosen exec.
        ColumnChoice& columns = w.procPreview()->columnChoice();
        columns.setShown(factKey(korvantis::Fact::args), true);
        columns.setShown(factKey(korvantis::Fact::uid), true);
        w.choose(w.procPreview(), 3, [&] { return w.selection().activePreview()->pid == 402; });
        TRY_VERIFY(w.procDetail()->eventTextView()->card()->isVisible());
        save(w.view, "main-facts.png");
        // The other kinds in their own tab, one of them chosen; the notice
        // of the messages the sample's numbering says are missing.
        TRY_COMPARE(w.view.tabs()->count(), 3);
        w.view.resize(1600, 860);  // the Summary column in view beside a 300-pixel Path
        w.view.tabs()->setCurrentIndex(2);
        EventPreview* others = w.view.otherPanel()->preview();
        TRY_VERIFY(others->list()->isVisible());
        w.choose(others, 0, [&] { return w.selection().activeOtherPreview().has_value(); });
        save(w.view, "main-other-events.png");
        TRY_VERIFY(w.view.lostMessagesStrip()->isVisible());
        save(w.view, "main-lost-messages.png");
    }

    void timeline() {
        Window w("sample.json", 7);
        TimelineStrip* strip = w.view.timeline();
        TRY_VERIFY(strip->counted() && !strip->allSlices().slices().empty());
        QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(strip->width() / 4, 10));
        QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(strip->width() * 3 / 4, 10));
        TRY_VERIFY(w.procs().rowCount() < 7 && strip->counted());
        // A chosen row: its time marked on the strip.
        w.choose(w.procPreview(), 1, [&] {
            return strip->chosenTime() != korvantis::kNoTimeValue && !w.selection().detailPending();
        });
        save(w.view, "main-timeline.png");
    }

    // The summary of the eslogger sample, in its own window.
    void summary() {
        Window w("eslogger.json", 7);
        TRY_VERIFY(w.workspace().loader.idle());
        w.view.showSummary();
        SummaryWindow* window = w.view.summaryWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        TRY_VERIFY(window->ready() && window->summary().rows > 7);
        save(*window, "summary.png");
    }
};

QTEST_MAIN(ScreenshotTest)
#include "test_screenshots.moc"
