// The Follow toggle: its button and key, and what a followed log does to the
// window: rows come, a list at its end stays there, one scrolled elsewhere
// stays put, and a log cut short is told in the load strip.

#include <QLabel>
#include <QPushButton>
#include <QWindow>

#include <filesystem>
#include <fstream>

#include "ui/load_progress_view.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;

namespace {

constexpr int kTimeout = 20000;

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
    void buttonKeyAndMenuAgree() {
        MainView view{[](const TreeRequest&) {}};
        view.show();
        view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QPushButton* button = view.topBar()->followButton();
        QCOMPARE(button->text(), QStringLiteral("Follow"));
        for (bool on : {true, false}) {
            QTest::keyClick(&view, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
            QTRY_COMPARE_WITH_TIMEOUT(button->isChecked(), on, kTimeout);
            QCOMPARE(view.workspace().loader.following(), on);
        }
        view.setFollowing(true);
        QVERIFY(button->isChecked() && view.workspace().loader.following());
    }

    void listsStickToTheirEndOnly() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("growing.json"));
        appendLines(path, 100, 300);
        MainView view{[](const TreeRequest&) {}};
        view.resize(900, 500);
        view.show();
        view.setFollowing(true);
        view.workspace().loader.loadJsonFile(path.toStdString());
        RowSource& rows = procPreview(view)->rows();
        PreviewList* list = procPreview(view)->list();
        QTRY_COMPARE_WITH_TIMEOUT(rows.rowCount(), 200, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible() && list->rowsOnScreen() > 1, kTimeout);

        // Scrolled to its end: it follows the rows that come.
        list->scrollToRow(199);
        QVERIFY(list->atEnd());
        const int firstBefore = list->firstRow();
        appendLines(path, 300, 350);
        QTRY_COMPARE_WITH_TIMEOUT(rows.rowCount(), 250, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(list->atEnd(), kTimeout);
        QVERIFY(list->firstRow() > firstBefore);

        // Scrolled elsewhere: it stays where it is.
        list->scrollToRow(0);
        appendLines(path, 350, 400);
        QTRY_COMPARE_WITH_TIMEOUT(rows.rowCount(), 300, kTimeout);
        QCOMPARE(list->firstRow(), 0);

        // Cut short: following stops, with a notice where loads tell theirs.
        std::filesystem::resize_file(path.toStdString(), 10);
        QLabel* notice = view.topBar()->loadProgress()->failureLabel();
        QTRY_VERIFY_WITH_TIMEOUT(notice->isVisible(), kTimeout);
        QCOMPARE(notice->text(),
                 QStringLiteral("growing.json was truncated; following stopped at line 300"));
        QCOMPARE(rows.rowCount(), 300);
    }
};

QTEST_MAIN(FollowToggleTest)
#include "test_follow_toggle.moc"
