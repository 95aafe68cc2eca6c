// The filter bar driven as a user would: typing a query filters both tabs
// and counts in their titles, an invalid query keeps the rows, the row menu
// edits the query, the chosen row stays chosen, rows loaded while filtered
// are filtered, and Export… writes the shown rows (or says why it cannot).

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QWindow>

#include <algorithm>
#include <ctime>
#include <numeric>
#include <vector>

#include "ui/filter_bar.h"
#include "ui/filtered_row_source.h"
#include "ui/sorted_row_source.h"
#include "ui/time_display_choice.h"
#include "ui/timeline_strip.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;

namespace {

constexpr int kTimeout = 20000;

struct Window {
    MainView view{[](const korvantis::ui::TreeRequest&) {}};
    QStringList alerts;
    Window() {
        view.resize(1500, 900);
        view.show();
        bar()->exportAction()->setAlertPresenter(
            [this](const QString& title, const QString& text) { alerts << title << text; });
    }
    FilterBar* bar() { return view.filterBar(); }
    QLineEdit* field() { return bar()->field(); }
    FilteredRowSource& procs() { return procPreview(view)->filteredRows(); }
    FilteredRowSource& files() { return filePreview(view)->filteredRows(); }
    QStringList titles() { return {view.tabs()->tabText(0), view.tabs()->tabText(1)}; }
    bool idle() { return !procs().searching() && !files().searching(); }
    void load(const QString& path, int procRows, int fileRows) {
        view.workspace().loader.loadJsonFile(path.toStdString());
        QTRY_VERIFY_WITH_TIMEOUT(
            procs().totalCount() == procRows && files().totalCount() == fileRows, kTimeout);
    }
    // Types the query into the field as keys, then waits for both lists.
    void type(const QString& query) {
        field()->clear();
        QTest::keyClicks(field(), query);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kTimeout);
    }
    QStringList shownPaths(FilteredRowSource& rows) {
        QStringList out;
        for (int r = 0; r < rows.rowCount(); ++r) {
            out << rows.text(r, FieldKey::path);
        }
        return out;
    }
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

class FilterBarTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString log_;
    QStringList lines_;

  private slots:
    void initTestCase() {
        // Settings the views remember go to a folder of the tests' own.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir_.isValid());
        lines_ = {
            procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 10, 1, "/bin/zsh"),       // proc 0
            procLine("ES_EVENT_TYPE_NOTIFY_FORK", 11, 10, "/bin/sh"),       // proc 1
            fileLine("ES_EVENT_TYPE_NOTIFY_WRITE", 11, R"(/tmp/a,\"b\")"),  // file 0: /tmp/a,"b"
            procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 11, 10, "/bin/ls"),       // proc 2
            procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 12, 11, "/bin/cat"),      // proc 3
            fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 12, "/tmp/b"),            // file 1
            procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 30, 1, "/usr/bin/git"),   // proc 4
            fileLine("ES_EVENT_TYPE_NOTIFY_OPEN", 30, "/tmp/c"),            // file 2
        };
        log_ = writeLog(dir_, QStringLiteral("mixed.json"), lines_);
    }

    void groupedCounts() {
        const struct {
            qulonglong n;
            const char* text;
        } cases[] = {
            {0, "0"}, {999, "999"}, {1000, "1,000"}, {305736, "305,736"}, {1234567, "1,234,567"}};
        for (const auto& c : cases) {
            QCOMPARE(groupedNumber(c.n), QString::fromLatin1(c.text));
        }
    }

    void typingFiltersBothTabs() {
        Window w;
        w.load(log_, 5, 3);
        QCOMPARE(w.titles(), QStringList({"Processes", "Files"}));
        // Each query: the paths then shown in each tab.
        const struct {
            QString query;
            QStringList procs;
            QStringList files;
        } steps[] = {
            {"pid:11", {"/bin/sh", "/bin/ls"}, {"/tmp/a,\"b\""}},
            {"tree:11", {"/bin/sh", "/bin/ls", "/bin/cat"}, {"/tmp/a,\"b\"", "/tmp/b"}},
            {"type:exec -path:/bin/ls", {"/bin/zsh", "/bin/cat", "/usr/bin/git"}, {}},
            {"GIT", {"/usr/bin/git"}, {}},
            // Only the raw lines of file events name their acting process.
            {"json:LAUNCHD", {}, {"/tmp/a,\"b\"", "/tmp/b", "/tmp/c"}},
            {"pid:99", {}, {}},
        };
        for (const auto& step : steps) {
            w.type(step.query);
            QVERIFY2(w.shownPaths(w.procs()) == step.procs,
                     qPrintable(step.query + ": " + w.shownPaths(w.procs()).join(' ')));
            QCOMPARE(w.shownPaths(w.files()), step.files);
            QCOMPARE(w.titles(),
                     QStringList({QStringLiteral("Processes (%1 of 5)").arg(step.procs.size()),
                                  QStringLiteral("Files (%1 of 3)").arg(step.files.size())}));
            QVERIFY(!w.bar()->invalid());
        }

        // Ctrl+F from the list goes to the field; Esc in it clears the filter.
        w.view.windowHandle()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        procPreview(w.view)->list()->setFocus();
        QTest::keyClick(procPreview(w.view)->list(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(w.field()->hasFocus(), kTimeout);
        QTest::keyClick(w.field(), Qt::Key_Escape);
        QCOMPARE(w.field()->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(w.procs().rowCount(), 5, kTimeout);
        QCOMPARE(w.titles(), QStringList({"Processes", "Files"}));

        // The tree window's "Show events" puts its query in the field.
        w.view.showEventsOfProcessTree(10);
        QCOMPARE(w.field()->text(), QStringLiteral("tree:10"));
        QTRY_COMPARE_WITH_TIMEOUT(w.titles(), QStringList({"Processes (4 of 5)", "Files (2 of 3)"}),
                                  kTimeout);

        // Rows loaded while a filter is set are filtered as they come.
        w.load(log_, 10, 6);
        QTRY_COMPARE_WITH_TIMEOUT(w.titles(),
                                  QStringList({"Processes (8 of 10)", "Files (4 of 6)"}), kTimeout);
    }

    // Clicking a column's title: ascending, descending, load order again;
    // the chosen row stays chosen, the filter and later rows are sorted too.
    void titleClicksSortTheList() {
        Window w;
        w.load(log_, 5, 3);
        EventPreview* preview = procPreview(w.view);
        ColumnHeaders* headers = preview->headers();
        const auto& columns = preview->columns().columns().columns;
        const auto columnOf = [&](FieldKey key) {
            for (std::size_t i = 0; i < columns.size(); ++i) {
                if (columns[i].key == key) {
                    return static_cast<int>(i);
                }
            }
            return -1;
        };
        const auto clickTitle = [&](FieldKey key) {
            QTest::mouseClick(headers, Qt::LeftButton, {},
                              headers->textRects()[columnOf(key)].center());
            QTRY_VERIFY_WITH_TIMEOUT(preview->sortedRows().sorted(), kTimeout);
        };
        const auto shown = [&] {
            QStringList out;
            for (int r = 0; r < preview->rows().rowCount(); ++r) {
                out << preview->rows().text(r, FieldKey::path);
            }
            return out;
        };
        clickRow(preview->list(), 2);  // /bin/ls
        const QString pathTitle = columns[columnOf(FieldKey::path)].header;
        const struct {
            QStringList paths;
            QString title;
        } steps[] = {
            {{"/bin/cat", "/bin/ls", "/bin/sh", "/bin/zsh", "/usr/bin/git"},
             pathTitle + QStringLiteral(" \u25B2")},
            {{"/usr/bin/git", "/bin/zsh", "/bin/sh", "/bin/ls", "/bin/cat"},
             pathTitle + QStringLiteral(" \u25BC")},
            {{"/bin/zsh", "/bin/sh", "/bin/ls", "/bin/cat", "/usr/bin/git"}, pathTitle},
        };
        for (const auto& step : steps) {
            clickTitle(FieldKey::path);
            QCOMPARE(shown(), step.paths);
            QCOMPARE(headers->texts()[columnOf(FieldKey::path)], step.title);
            const int chosen = preview->list()->chosenRow();
            QCOMPARE(chosen, static_cast<int>(step.paths.indexOf(QStringLiteral("/bin/ls"))));
            QVERIFY(!preview->list()->rowRect(chosen).isEmpty());
        }

        // Descending by pid over a filter and over rows loaded later: what a
        // stable sort of the filtered rows gives (ties stay in load order).
        clickTitle(FieldKey::pid);
        clickTitle(FieldKey::pid);
        const auto expected = [&] {
            std::vector<int> rows(static_cast<std::size_t>(w.procs().rowCount()));
            std::iota(rows.begin(), rows.end(), 0);
            std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
                return w.procs().text(a, FieldKey::pid).toLongLong() >
                       w.procs().text(b, FieldKey::pid).toLongLong();
            });
            QStringList out;
            for (const int r : rows) {
                out << w.procs().text(r, FieldKey::path);
            }
            return out;
        };
        QCOMPARE(shown(),
                 QStringList({"/usr/bin/git", "/bin/cat", "/bin/sh", "/bin/ls", "/bin/zsh"}));
        w.type(QStringLiteral("-path:zsh"));
        QTRY_VERIFY_WITH_TIMEOUT(preview->sortedRows().sorted(), kTimeout);
        QCOMPARE(shown(), expected());
        w.load(log_, 10, 6);
        QTRY_VERIFY_WITH_TIMEOUT(
            w.idle() && w.procs().rowCount() == 8 && preview->sortedRows().sorted(), kTimeout);
        QCOMPARE(shown(), expected());
        QCOMPARE(preview->rows().text(preview->list()->chosenRow(), FieldKey::path),
                 QStringLiteral("/bin/ls"));
    }

    // The time display, chosen from any menu that offers it: every list's
    // time cells follow, rows without a time value keep their text, and the
    // choice is remembered.
    void timeDisplayShowsTimes() {
        qputenv("TZ", "XST-5:30");  // five and a half hours ahead of UTC
        ::tzset();
        Window w;
        w.load(log_, 5, 3);
        QMenu menu;
        TimeDisplayChoice::instance().addActionsTo(&menu);
        QStringList texts;
        for (QAction* action : menu.actions()) {
            texts << action->text();
        }
        QCOMPARE(texts, QStringList({"As recorded", "UTC", "Local time", "Since first event"}));
        const struct {
            int action;
            QString proc;
            QString file;
            QString setting;
        } steps[] = {
            {1, "2025-12-06 05:46:40.100000", "2025-12-06 05:46:41.500000", "utc"},
            {2, "2025-12-06 11:16:40.100000", "2025-12-06 11:16:41.500000", "local"},
            {3, "+00:00:00.000000", "+00:00:01.400000", "sinceFirst"},
            {0, "1765000000.1", "1765000001.5", "asRecorded"},
        };
        for (const auto& step : steps) {
            menu.actions()[step.action]->trigger();
            QVERIFY(menu.actions()[step.action]->isChecked());
            QCOMPARE(procPreview(w.view)->list()->cellShown(0, 0), step.proc);
            QCOMPARE(filePreview(w.view)->rows().text(0, FieldKey::timestamp), step.file);
            QCOMPARE(QSettings().value(QStringLiteral("view/timeDisplay")).toString(),
                     step.setting);
        }
        qunsetenv("TZ");
        ::tzset();
    }

    // The timeline counts the shown rows; a drag writes the time bounds into
    // the field (replacing earlier ones), a double-click drops them.
    void timelineCountsAndBrushes() {
        Window w;
        w.load(log_, 5, 3);
        TimelineStrip* strip = w.view.timeline();
        const auto totals = [&] {
            SliceCount sum;
            for (const SliceCount& c : strip->shownSlices().slices()) {
                sum.process += c.process;
                sum.file += c.file;
            }
            return sum;
        };
        QTRY_VERIFY_WITH_TIMEOUT(strip->counted() && totals() == (SliceCount{5, 3}), kTimeout);
        w.type(QStringLiteral("pid:11"));
        QTRY_VERIFY_WITH_TIMEOUT(strip->counted() && totals() == (SliceCount{2, 1}), kTimeout);
        // Processes at 0.1 s, files at 1.5 s: the left half holds processes.
        for (int round = 0; round < 2; ++round) {
            QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(0, 10));
            QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(strip->width() / 2, 10));
            QVERIFY(
                w.field()->text().startsWith(QStringLiteral("pid:11 after:2025-12-06T05:46:40.1")));
            QCOMPARE(w.field()->text().count(QStringLiteral("before:")), 1);
            QTRY_VERIFY_WITH_TIMEOUT(w.idle(), kTimeout);
            QCOMPARE(w.procs().rowCount(), 2);
            QCOMPARE(w.files().rowCount(), 0);
        }
        QTest::mouseDClick(strip, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(w.field()->text(), QStringLiteral("pid:11"));
    }

    void invalidQueryKeepsRows() {
        Window w;
        w.load(log_, 5, 3);
        w.type(QStringLiteral("pid:11"));
        QCOMPARE(w.procs().rowCount(), 2);
        const QColor normal = w.field()->palette().color(QPalette::Text);
        const struct {
            QString query;
            QString error;
        } cases[] = {
            {"pid:1x", "pid: needs a whole number, not \"1x\""},
            {"path:\"/bin", "unbalanced quote: a \" is never closed"},
            {"type:", "empty value after type:"},
        };
        for (const auto& c : cases) {
            w.bar()->setQuery(c.query);  // at once: no valid query on the way
            QVERIFY(w.bar()->invalid());
            QCOMPARE(w.bar()->message()->text(), c.error);
            QCOMPARE(w.field()->palette().color(QPalette::Text), filterErrorColor());
            QCOMPARE(w.shownPaths(w.procs()), QStringList({"/bin/sh", "/bin/ls"}));
            QCOMPARE(w.titles()[0], QStringLiteral("Processes (2 of 5)"));
        }
        w.type(QStringLiteral("pid:10"));
        QVERIFY(!w.bar()->invalid());
        QCOMPARE(w.bar()->message()->text(), QString());
        QCOMPARE(w.field()->palette().color(QPalette::Text), normal);
        QCOMPARE(w.shownPaths(w.procs()), QStringList({"/bin/zsh"}));
    }

    void rowMenuEditsQuery() {
        Window w;
        w.load(log_, 5, 3);
        w.type(QStringLiteral("type:exec"));
        EventPreview* preview = procPreview(w.view);
        QCOMPARE(preview->rows().text(1, FieldKey::path), QStringLiteral("/bin/ls"));
        // Each action on the row of /bin/ls (pid 11) and the query it leaves.
        const struct {
            QAction* (RowMenu::*action)() const;
            QString query;
        } steps[] = {
            {&RowMenu::onlyProcessAction, "type:exec pid:11"},
            {&RowMenu::processTreeAction, "type:exec tree:11"},
            {&RowMenu::hidePathAction, "type:exec tree:11 -path:\"/bin/ls\""},
        };
        for (const auto& step : steps) {
            const int row = w.shownPaths(w.procs()).indexOf(QStringLiteral("/bin/ls"));
            QVERIFY2(row >= 0,
                     qPrintable(w.field()->text() + ": " + w.shownPaths(w.procs()).join(" ")));
            (preview->menuForRow(row)->*step.action)()->trigger();
            QCOMPARE(w.field()->text(), step.query);
            QTRY_VERIFY_WITH_TIMEOUT(w.idle(), kTimeout);
        }
        QCOMPARE(w.shownPaths(w.procs()), QStringList({"/bin/cat"}));

        // The copies: the row's cells, its path, its pid.
        RowMenu* menu = preview->menuForRow(0);
        menu->copyRowAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("1765000000.1\tES_EVENT_TYPE_NOTIFY_EXEC\t12\t11\t/bin/cat"));
        menu->copyPathAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("/bin/cat"));
        menu->copyPidAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("12"));
    }

    void chosenRowStaysChosen() {
        Window w;
        w.load(log_, 5, 3);
        PreviewList* list = procPreview(w.view)->list();
        clickRow(list, 2);  // /bin/ls, pid 11
        QTRY_VERIFY_WITH_TIMEOUT(w.view.workspace().selection.activePreview().has_value(),
                                 kTimeout);
        const Uuid chosen = w.procs().rowId(2);
        w.type(QStringLiteral("pid:11"));
        QCOMPARE(list->chosenRow(), 1);
        QCOMPARE(w.procs().rowId(1), chosen);
        QCOMPARE(list->cellColor(1, 0), QColor(61, 210, 130));
        // The keys go on from it among the shown rows.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Up);
        QTRY_COMPARE_WITH_TIMEOUT(w.view.workspace().selection.activePreview()->path,
                                  std::string_view("/bin/sh"), kTimeout);
        // Hidden, it is chosen no more; shown again, it is.
        w.type(QStringLiteral("pid:12"));
        QCOMPARE(list->chosenRow(), -1);
        w.type(QStringLiteral("/bin/s"));
        QCOMPARE(list->chosenRow(), 0);
    }

    // A log overwritten after loading: the rows whose lines a json: term
    // cannot read again are neither shown nor hidden; the bar counts them,
    // also after typing on narrows the query.
    void unreadableRowsAreCountedApart() {
        const QString log = writeLog(dir_, QStringLiteral("rewritten.json"), lines_);
        Window w;
        w.load(log, 5, 3);
        {
            QFile f(log);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.write(QByteArray(lines_[0].size(), 'x'));  // proc 0's line, in place
        }
        const struct {
            QString query;
            int procs;
            QString message;
        } steps[] = {
            {"json:NOTIFY", 4, "1 row could not be read again"},
            {"json:NOTIFY_EXEC", 3, "1 row could not be read again"},
            {"json:NOTIFY_EXEC pid:12", 1, ""},
            {"json:\"changed on disk\"", 0, "1 row could not be read again"},
        };
        for (const auto& step : steps) {
            w.type(step.query);
            QCOMPARE(w.procs().rowCount(), step.procs);
            QCOMPARE(w.bar()->message()->text(), step.message);
        }
    }

    void exportShownRows() {
        Window w;
        w.load(log_, 5, 3);
        w.type(QStringLiteral("pid:11"));
        ExportAction* action = w.bar()->exportAction();
        QSignalSpy done(action, &ExportAction::finished);
        const QString jsonl = dir_.filePath(QStringLiteral("out.jsonl"));
        action->exportTo(jsonl, ExportFormat::jsonLines);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, kTimeout);
        QCOMPARE(readAll(jsonl), (lines_[1] + "\n" + lines_[3] + "\n").toUtf8());
        QCOMPARE(w.bar()->message()->text(), QStringLiteral("Exported 2 rows to out.jsonl"));

        // The files tab, as CSV: quotes doubled, ppid empty.
        w.view.tabs()->setCurrentIndex(1);
        const QString csv = dir_.filePath(QStringLiteral("out.csv"));
        action->exportTo(csv, ExportAction::formatFor(csv, exportJsonLinesFilter()));
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, kTimeout);
        QCOMPARE(readAll(csv), QByteArray("kind,type,timestamp,pid,ppid,path\n"
                                          "file,ES_EVENT_TYPE_NOTIFY_WRITE,1765000001.5,11,,"
                                          "\"/tmp/a,\"\"b\"\"\"\n"));
        QVERIFY(w.alerts.isEmpty());

        // A folder that is not there: the message, and no file.
        const QString missing = dir_.filePath(QStringLiteral("no-such-folder/out.csv"));
        action->exportTo(missing, ExportFormat::csv);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 3, kTimeout);
        QCOMPARE(w.alerts.size(), 2);
        QCOMPARE(w.alerts[0], exportFailedTitle());
        QVERIFY2(w.alerts[1].contains(missing) && w.alerts[1].contains("No such file"),
                 qPrintable(w.alerts[1]));
        QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("no-such-folder"))));

        // The format by extension first, then by the dialog's filter.
        QCOMPARE(ExportAction::formatFor("a.CSV", exportJsonLinesFilter()), ExportFormat::csv);
        QCOMPARE(ExportAction::formatFor("a.json", exportCsvFilter()), ExportFormat::jsonLines);
        QCOMPARE(ExportAction::formatFor("a", exportCsvFilter()), ExportFormat::csv);
    }
};

QTEST_MAIN(FilterBarTest)
#include "test_filter_bar.moc"
