// Saves pictures of the main window on the sample logs for a person to look
// at: an eslogger recording with a chosen event, its facts as columns and
// card, its other events and the notice of its lost messages, the timeline
// with a range chosen and the summary of a trace. (The window's other states
// are pictured by the tests that bring it into them.)

#include "ui_test_support.h"

using namespace korvantis::ui;
using namespace korvantis::ui::testing;

namespace {

// A window of a laptop's size, on screen, with the sample `sample` loaded
// until its `rows` process rows are shown.
struct Window : ShownWindow {
    Window(const char* sample, int rows) : ShownWindow(1400, 860) {
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        load(QStringLiteral(KORVANTIS_SAMPLES_DIR "/") + QLatin1String(sample), rows);
    }
    // Chooses a row of `preview` and waits until the choice has come through
    // and its detail is shown.
    void choose(EventPreview* preview, int row, const std::function<bool()>& chosen) {
        clickRow(preview->list(), row);
        TRY_VERIFY(chosen() && !selection().detailPending());
    }
};

}  // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

  private slots:
    void eslogger() {
        Window w("eslogger.json", 7);
        w.choose(w.procPreview(), 1, [&] { return w.selection().activePreview().has_value(); });
        savePicture(w.view, "main-eslogger.png");
        // The facts as columns and as the card of the chosen exec.
        ColumnChoice& columns = w.procPreview()->columnChoice();
        columns.setShown(factKey(korvantis::Fact::args), true);
        columns.setShown(factKey(korvantis::Fact::uid), true);
        w.choose(w.procPreview(), 3, [&] { return w.selection().activePreview()->pid == 402; });
        TRY_VERIFY(w.procDetail()->eventTextView()->card()->isVisible());
        savePicture(w.view, "main-facts.png");
        // The other kinds in their own tab, one of them chosen; the notice
        // of the messages the sample's numbering says are missing.
        TRY_COMPARE(w.view.tabs()->count(), 3);
        w.view.resize(1600, 860);  // the Summary column in view beside a 300-pixel Path
        w.view.tabs()->setCurrentIndex(2);
        EventPreview* others = w.view.otherPanel()->preview();
        TRY_VERIFY(others->list()->isVisible());
        w.choose(others, 0, [&] { return w.selection().activeOtherPreview().has_value(); });
        savePicture(w.view, "main-other-events.png");
        TRY_VERIFY(w.view.lostMessagesStrip()->isVisible());
        savePicture(w.view, "main-lost-messages.png");
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
        savePicture(w.view, "main-timeline.png");
    }

    // The summary of the eslogger sample, in its own window.
    void summary() {
        Window w("eslogger.json", 7);
        TRY_VERIFY(w.workspace().loader.idle());
        w.view.showSummary();
        SummaryWindow* window = w.view.summaryWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        TRY_VERIFY(window->ready() && window->summary().rows > 7);
        savePicture(*window, "summary.png");
    }
};

QTEST_MAIN(ScreenshotTest)
#include "test_screenshots.moc"
