// The Follow toggle: its button and key, and what a followed log does to the
// window: rows come, a list at its end stays there, one scrolled elsewhere
// stays put, and a log cut short is told in the load strip.

#include <filesystem>

#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

void appendLines(const QString& path, int from, int to) {
    std::ofstream out(path.toStdString(), std::ios::app);
    for (int pid = from; pid < to; ++pid) {
        out << testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", pid, 1, "/bin/p") << '\n';
    }
}

}  // namespace

class FollowToggleTest : public QObject {
    Q_OBJECT

  private slots:
    void followedLogsFeedTheLists() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"growing.json"_s);
        appendLines(path, 100, 300);
        ShownWindow w(900, 500);
        MainView& view = w.view;
        // The button and Ctrl+Shift+F switch following; so does the window's setter.
        w.activate();
        QPushButton* button = view.topBar()->followButton();
        QCOMPARE(button->text(), u"Follow"_s);
        for (bool on : {true, false}) {
            QTest::keyClick(&view, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
            TRY_COMPARE(button->isChecked(), on);
            QCOMPARE(view.workspace().loader.following(), on);
        }
        view.setFollowing(true);
        QVERIFY(button->isChecked() && view.workspace().loader.following());

        w.load(path, 200);
        RowSource& rows = w.procs();
        PreviewList* list = w.procList();
        TRY_VERIFY(list->isVisible() && list->rowsOnScreen() > 1);

        // Scrolled to its end: it follows the rows that come.
        list->scrollToRow(199);
        QVERIFY(list->atEnd());
        const int firstBefore = list->firstRow();
        appendLines(path, 300, 350);
        TRY_COMPARE(rows.rowCount(), 250);
        TRY_VERIFY(list->atEnd());
        QVERIFY(list->firstRow() > firstBefore);

        // Scrolled elsewhere: it stays where it is.
        list->scrollToRow(0);
        appendLines(path, 350, 400);
        TRY_COMPARE(rows.rowCount(), 300);
        QCOMPARE(list->firstRow(), 0);

        // Cut short: following stops, with a notice where loads tell theirs.
        std::filesystem::resize_file(path.toStdString(), 10);
        QLabel* notice = view.topBar()->loadProgress()->failureLabel();
        TRY_VERIFY(notice->isVisible());
        QCOMPARE(notice->text(), u"growing.json was truncated; following stopped at line 300"_s);
        QCOMPARE(rows.rowCount(), 300);
    }
};

QTEST_MAIN(FollowToggleTest)
#include "test_follow_toggle.moc"
