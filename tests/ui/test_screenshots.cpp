// Saves pictures of the main window on the eslogger sample for a person to
// look at: a chosen event, and the facts as columns and card. (The window's
// other states are pictured by the tests that bring it into them.)

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
    }
};

QTEST_MAIN(ScreenshotTest)
#include "test_screenshots.moc"
