// The filter bar driven as a user would: typing a query filters both tabs
// and counts in their titles, an invalid query keeps the rows (what queries
// mean is the core's to test; here one case each proves the wiring), the row menu
// edits the query, the chosen row stays chosen, rows loaded while filtered
// are filtered (also rows matched before whose run a later row ends), and
// Export… writes the shown rows (or says why it cannot).

#include <QComboBox>
#include <QFileDialog>
#include <QHelpEvent>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <thread>

#include "query/row_filter.h"
#include "ui/list/bidi_isolation.h"
#include "ui/look/time_display_choice.h"
#include "ui/look/viewer_settings.h"
#include "ui/rows/filtered_row_source.h"
#include "ui/rows/sorted_row_source.h"
#include "ui/window/save_received_log.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

struct Window : ShownWindow {
    QStringList alerts;
    // A window with `log` (five process rows, three file rows) loaded.
    explicit Window(const QString& log) {
        filter()->exportAction()->setAlertPresenter(
            [this](const QString& title, const QString& text) { alerts << title << text; });
        load(log, 5, 3);
    }
    FilterBar* filter() { return view.filterBar(); }
    QLineEdit* field() { return filter()->field(); }
    // The filtered rows, before any sort.
    FilteredRowSource& procs() { return procPreview()->filteredRows(); }
    FilteredRowSource& files() { return filePreview()->filteredRows(); }
    QStringList titles() { return {view.tabs()->tabText(0), view.tabs()->tabText(1)}; }
    bool idle() { return !procs().searching() && !files().searching(); }
    void load(const QString& path, int procRows, int fileRows) {
        workspace().loader.loadJsonFile(path.toStdString());
        TRY_VERIFY(procs().totalCount() == procRows && files().totalCount() == fileRows);
    }
    // Types the query into the field as keys, then waits for both lists.
    void type(const QString& query) {
        field()->clear();
        QTest::keyClicks(field(), query);
        TRY_VERIFY(idle());
    }
    static QStringList shownPaths(RowSource& rows) {
        QStringList out;
        for (int r = 0; r < rows.rowCount(); ++r) {
            out << rows.text(r, FieldId::path);
        }
        return out;
    }
};

// eslogger messages of a process of pid `pid`, version `pv`.
QString esSubject(qint64 pid, int pv, const QString& path = u"/bin/p"_s) {
    return uR"({"audit_token":{"pid":%1,"pidversion":%2},"ppid":1,"executable":{"path":"%3"}})"_s
        .arg(pid)
        .arg(pv)
        .arg(path);
}
QString esLine(qint64 pid, int pv, const QString& event) {
    return uR"({"time":"2026-01-05T09:12:00Z","process":%1,"event":{%2}})"_s.arg(esSubject(pid, pv),
                                                                                 event);
}
QString esFork(qint64 child, int pv) {
    return esLine(1, 1, uR"("fork":{"child":%1})"_s.arg(esSubject(child, pv)));
}
QString esExec(qint64 pid, int pv, int newPv, const QString& path) {
    return esLine(pid, pv, uR"("exec":{"target":%1,"args":[]})"_s.arg(esSubject(pid, newPv, path)));
}
QString esExit(qint64 pid, int pv, int stat) {
    return esLine(pid, pv, uR"("exit":{"stat":%1})"_s.arg(stat));
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
        log_ = writeLog(dir_, u"mixed.json"_s, lines_);
    }

    void groupedCounts() {
        QCOMPARE(QStringList({groupedNumber(0), groupedNumber(999), groupedNumber(1000),
                              groupedNumber(305736), groupedNumber(1234567)}),
                 QStringList({"0", "999", "1,000", "305,736", "1,234,567"}));
    }

    void typingFiltersBothTabs() {
        Window w(log_);
        QCOMPARE(w.titles(), QStringList({"Processes", "Files"}));
        // Each query: the paths then shown in each tab.
        const struct {
            QString query;
            QStringList procs;
            QStringList files;
        } steps[] = {
            {"pid:11", {"/bin/sh", "/bin/ls"}, {"/tmp/a,\"b\""}},
            // Only the raw lines of file events name their acting process.
            {"json:LAUNCHD", {}, {"/tmp/a,\"b\"", "/tmp/b", "/tmp/c"}},
        };
        for (const auto& step : steps) {
            w.type(step.query);
            QVERIFY2(w.shownPaths(w.procs()) == step.procs,
                     qPrintable(step.query + ": " + w.shownPaths(w.procs()).join(' ')));
            QCOMPARE(w.shownPaths(w.files()), step.files);
            QCOMPARE(w.titles(), QStringList({u"Processes (%1 of 5)"_s.arg(step.procs.size()),
                                              u"Files (%1 of 3)"_s.arg(step.files.size())}));
            QVERIFY(!w.filter()->invalid());
        }

        // Ctrl+F from the list goes to the field; Esc in it clears the filter.
        w.activate();
        w.procPreview()->list()->setFocus();
        QTest::keyClick(w.procPreview()->list(), Qt::Key_F, Qt::ControlModifier);
        TRY_VERIFY(w.field()->hasFocus());
        QTest::keyClick(w.field(), Qt::Key_Escape);
        QCOMPARE(w.field()->text(), QString());
        TRY_COMPARE(w.procs().rowCount(), 5);
        QCOMPARE(w.titles(), QStringList({"Processes", "Files"}));

        // The tree window's "Show events" puts its query in the field.
        w.view.showEventsOfProcessTree(10);
        QCOMPARE(w.field()->text(), u"tree:10"_s);
        TRY_COMPARE(w.titles(), QStringList({"Processes (4 of 5)", "Files (2 of 3)"}));

        // Rows loaded while a filter is set are filtered as they come.
        w.load(log_, 10, 6);
        TRY_COMPARE(w.titles(), QStringList({"Processes (8 of 10)", "Files (4 of 6)"}));
    }

    // A filter set before a load shows, once each log is in, the rows a
    // fresh match of the store gives, also where a later log (loaded or
    // followed) ends the runs of rows already matched or hidden; the chosen
    // row's card says how its run ended.
    void rowsWhoseRunEndsLaterAreMatchedAgain() {
        const QStringList logs[] = {
            // Rows 0-3; 3 exits at once.
            {esFork(20, 1), esFork(21, 1), esFork(22, 1), esFork(23, 1), esExit(23, 1, 0)},
            // 0 exits 1; 1 becomes /bin/ls (row 4); pid 22 is reused (row 5).
            {esExit(20, 1, 256), esExec(21, 1, 2, u"/bin/ls"_s), esFork(22, 5)},
            // Followed: 4 is killed, 5 exits 0.
            {esExit(21, 2, 9), esExit(22, 5, 0)},
        };
        const int procsAfter[] = {4, 6, 6};
        const std::size_t othersAfter[] = {1, 2, 4};
        for (const QString& query :
             {u"outcome:exit"_s, u"-outcome:\"exit 0\""_s, u"outcome:running"_s,
              u"outcome:UNSEEN"_s, u"outcome:became"_s}) {
            ShownWindow w;
            FilteredRowSource& procs = w.procPreview()->filteredRows();
            w.view.filterBar()->setQuery(query);
            const QString followed = dir_.filePath(u"ended.json"_s);
            writeLog(dir_, u"ended.json"_s, logs[1]);
            for (int step = 0; step < 3; ++step) {
                if (step == 0) {
                    w.workspace().loader.loadJsonFile(
                        writeLog(dir_, u"started.json"_s, logs[0]).toStdString());
                } else if (step == 1) {
                    w.workspace().loader.setFollowing(true);
                    w.workspace().loader.loadJsonFile(followed.toStdString());
                } else {
                    std::ofstream(followed.toStdString(), std::ios::app)
                        << logs[2].join(u'\n').toStdString() << "\n";
                }
                TRY_VERIFY(procs.totalCount() == procsAfter[step] &&
                           w.workspace().store.rows(RowKind::other).size() == othersAfter[step]);
                if (step == 0) {
                    w.selection().selectEvent(
                        w.workspace().store.rows(RowKind::process).placeOf(0));
                }
                // The plain reference: the query over every row as they are now.
                const RowsSnapshot rows = RowsSnapshot::of(w.workspace().store);
                const KindRowsSnapshot& all = rows.rows[RowKind::process];
                const auto fresh = matchingRows(
                    all, rows, *parseFilterQuery(query.toStdString()).query, 0, all.size());
                QStringList expected;
                for (const std::uint32_t row : fresh.value()) {
                    const RowView view = rows.row(RowKind::process, row);
                    expected << u"%1 %2"_s.arg(view.pid).arg(QString::fromUtf8(view.outcome));
                }
                const auto shown = [&] {
                    QStringList out;
                    for (int r = 0; r < procs.rowCount(); ++r) {
                        out << procs.text(r, FieldId::pid) + u' ' + procs.text(r, FieldId::outcome);
                    }
                    return out;
                };
                TRY_COMPARE(shown(), expected);
            }
            // The card of row 0, chosen while it ran, as the window shows it.
            TRY_VERIFY(w.procDetail()->eventTextView()->card()->originalText().endsWith(
                u"Lifetime: ran 0 ns, exit 1"_s));
            w.workspace().loader.setFollowing(false);
        }
    }

    // Clicking a column's title: ascending, descending, load order again;
    // the chosen row stays chosen, the filter and later rows are sorted too.
    void titleClicksSortTheList() {
        Window w(log_);
        EventPreview* preview = w.procPreview();
        ColumnHeaders* headers = preview->headers();
        // The default columns: Time, Type, PID, PPID, Path.
        const int pidColumn = 2;
        const int pathColumn = 4;
        const auto clickTitle = [&](int column) {
            QTest::mouseClick(headers, Qt::LeftButton, {}, headers->textRects()[column].center());
            TRY_VERIFY(preview->sortedRows().sorted());
        };
        clickRow(preview->list(), 2);  // /bin/ls
        const QString pathTitle = headers->texts()[pathColumn];
        const struct {
            QStringList paths;
            QString title;
        } steps[] = {
            {{"/bin/cat", "/bin/ls", "/bin/sh", "/bin/zsh", "/usr/bin/git"},
             pathTitle + u" \u25B2"_s},
            {{"/usr/bin/git", "/bin/zsh", "/bin/sh", "/bin/ls", "/bin/cat"},
             pathTitle + u" \u25BC"_s},
            {{"/bin/zsh", "/bin/sh", "/bin/ls", "/bin/cat", "/usr/bin/git"}, pathTitle},
        };
        for (const auto& step : steps) {
            clickTitle(pathColumn);
            QCOMPARE(Window::shownPaths(preview->rows()), step.paths);
            QCOMPARE(headers->texts()[pathColumn], step.title);
            const int chosen = preview->list()->chosenRow();
            QCOMPARE(chosen, static_cast<int>(step.paths.indexOf(u"/bin/ls"_s)));
            QVERIFY(!preview->list()->rowRect(chosen).isEmpty());
        }

        // Descending by pid over a filter and over rows loaded later: what a
        // stable sort of the filtered rows gives (ties stay in load order).
        clickTitle(pidColumn);
        clickTitle(pidColumn);
        w.type(u"-path:zsh"_s);
        TRY_VERIFY(preview->sortedRows().sorted());
        QCOMPARE(Window::shownPaths(preview->rows()),
                 QStringList({"/usr/bin/git", "/bin/cat", "/bin/sh", "/bin/ls"}));
        w.load(log_, 10, 6);
        TRY_VERIFY(w.idle() && w.procs().rowCount() == 8 && preview->sortedRows().sorted());
        QCOMPARE(Window::shownPaths(preview->rows()),
                 QStringList({"/usr/bin/git", "/usr/bin/git", "/bin/cat", "/bin/cat", "/bin/sh",
                              "/bin/ls", "/bin/sh", "/bin/ls"}));
        QCOMPARE(preview->rows().text(preview->list()->chosenRow(), FieldId::path), u"/bin/ls"_s);
    }

    // The time display, chosen from any menu that offers it: every list's
    // time cells follow, rows without a time value keep their text, and the
    // choice is remembered.
    void timeDisplayShowsTimes() {
        qputenv("TZ", "XST-5:30");  // five and a half hours ahead of UTC
        ::tzset();
        Window w(log_);
        QMenu menu;
        TimeDisplayChoice::instance().addActionsTo(&menu);
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
            QCOMPARE(w.procPreview()->list()->cellShown(0, 0), step.proc);
            QCOMPARE(w.filePreview()->rows().text(0, FieldId::timestamp), step.file);
            QCOMPARE(viewerSettings().value(u"view/timeDisplay"_s).toString(), step.setting);
        }
        qunsetenv("TZ");
        ::tzset();
    }

    // The timeline counts the shown rows; a drag writes the time bounds into
    // the field, a double-click drops them.
    void timelineCountsAndBrushes() {
        Window w(log_);
        TimelineStrip* strip = w.view.timeline();
        const auto totals = [&] {
            SliceCount sum;
            for (const SliceCount& c : strip->shownSlices().slices()) {
                for (const RowKind kind : kRowKinds) {
                    sum.rows[kind] += c.rows[kind];
                }
            }
            return sum;
        };
        TRY_VERIFY(strip->counted() && totals() == (SliceCount{{{5, 3, 0}}}));
        // The chosen row of the tab in front is marked.
        clickRow(w.procPreview()->list(), 0);
        TRY_COMPARE(strip->chosenTime(), TimeValue{1'765'000'000'100'000'000});
        QVERIFY(strip->xOf(strip->chosenTime()) >= 0);
        w.view.tabs()->setCurrentIndex(1);
        QCOMPARE(strip->chosenTime(), kNoTimeValue);
        w.view.tabs()->setCurrentIndex(0);
        // Hovering the first slice tells its time and counts.
        QHelpEvent help(QEvent::ToolTip, QPoint(1, 10), strip->mapToGlobal(QPoint(1, 10)));
        QApplication::sendEvent(strip, &help);
        TRY_VERIFY(QToolTip::isVisible());
        QVERIFY2(QToolTip::text().startsWith(u"2025-12-06 05:46:40.1"_s) &&
                     QToolTip::text().contains(u"5 process events, 0 file events"_s),
                 qPrintable(QToolTip::text()));
        w.type(u"pid:11"_s);
        TRY_VERIFY(strip->counted() && totals() == (SliceCount{{{2, 1, 0}}}));
        // Processes at 0.1 s, files at 1.5 s: the left half holds processes.
        QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(0, 10));
        QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(strip->width() / 2, 10));
        QVERIFY(w.field()->text().startsWith(u"pid:11 after:2025-12-06T05:46:40.1"_s));
        QCOMPARE(w.field()->text().count(u"before:"_s), 1);
        TRY_VERIFY(w.idle());
        QCOMPARE(w.procs().rowCount(), 2);
        QCOMPARE(w.files().rowCount(), 0);
        savePicture(w.view, "main-timeline.png");
        QTest::mouseDClick(strip, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(w.field()->text(), u"pid:11"_s);
    }

    // Rows all at one moment have that moment, dated to the nanosecond, as
    // their one tick (how ticks step over longer spans is the core's to test).
    void timelineOfOneMomentHasOneTick() {
        const QString line =
            procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100, 1, u"/bin/p"_s, u"1765018000.5"_s);
        ShownWindow one(1200, 600);
        one.load(writeLog(dir_, u"moment.json"_s, QStringList(3, line)), 3);
        TRY_VERIFY(one.view.timeline()->counted());
        QCOMPARE(one.view.timeline()->tickLabels(),
                 QStringList({u"2025-12-06 10:46:40.500000000"_s}));
    }

    // The summary shows the rows' paths as the lists do; clicking a line adds
    // its term to the query (how a line edits the query is the core's to test).
    void summaryAndRowMenuSetTheFilter() {
        Window w(log_);
        w.type(u"pid:12"_s);
        w.view.showSummary();
        SummaryWindow* summary = w.view.summaryWindow();
        TRY_VERIFY(summary->ready());
        savePicture(*summary, "summary.png");
        QCOMPARE(summary->section(SummaryLine::Kind::program)->child(0)->text(0),
                 isolatePathParts(u"/bin/cat"_s).shown);
        QTreeWidgetItem* item = summary->section(SummaryLine::Kind::type)->child(1);
        QTreeWidget* lines = summary->lines();
        QTest::mouseClick(lines->viewport(), Qt::LeftButton, {},
                          lines->visualItemRect(item).center());
        QCOMPARE(w.field()->text(), u"pid:12 type:\"ES_EVENT_TYPE_NOTIFY_OPEN\""_s);
        TRY_VERIFY(w.idle());
        QCOMPARE(w.procs().rowCount(), 0);
        QCOMPARE(w.files().rowCount(), 1);
        // The row menu edits the query too, and copies the row's texts.
        w.type(u"type:exec"_s);
        EventPreview* preview = w.procPreview();
        QCOMPARE(preview->rows().text(1, FieldId::path), u"/bin/ls"_s);
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
            const int row = w.shownPaths(w.procs()).indexOf(u"/bin/ls"_s);
            QVERIFY2(row >= 0,
                     qPrintable(w.field()->text() + ": " + w.shownPaths(w.procs()).join(" ")));
            (preview->menuForRow(row)->*step.action)()->trigger();
            QCOMPARE(w.field()->text(), step.query);
            TRY_VERIFY(w.idle());
        }
        QCOMPARE(w.shownPaths(w.procs()), QStringList({"/bin/cat"}));

        // The copies: the row's cells, its path, its pid.
        RowMenu* menu = preview->menuForRow(0);
        menu->copyRowAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 u"1765000000.1\tES_EVENT_TYPE_NOTIFY_EXEC\t12\t11\t/bin/cat"_s);
        menu->copyPathAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"/bin/cat"_s);
        menu->copyPidAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"12"_s);
    }

    // The chosen row stays chosen while it is shown. An invalid query is told
    // in red below the field, and keeps the rows.
    void chosenRowStaysChosen() {
        Window w(log_);
        PreviewList* list = w.procPreview()->list();
        clickRow(list, 2);  // /bin/ls, pid 11
        TRY_VERIFY(w.workspace().selection.activeRow(RowKind::process).has_value());
        const LinePlace chosen = w.procs().rowPlace(2);
        w.type(u"pid:11"_s);
        QCOMPARE(list->chosenRow(), 1);
        QCOMPARE(w.procs().rowPlace(1), chosen);
        QCOMPARE(list->cellColor(1, 0), greenColor(list->palette()));
        const QColor normal = w.field()->palette().color(QPalette::Text);
        w.filter()->setQuery(u"pid:1x"_s);  // at once: no valid query on the way
        QVERIFY(w.filter()->invalid());
        QCOMPARE(w.filter()->message()->text(), u"pid: needs a whole number, not \"1x\""_s);
        QCOMPARE(w.field()->palette().color(QPalette::Text), filterErrorColor(w.view.palette()));
        QCOMPARE(w.shownPaths(w.procs()), QStringList({"/bin/sh", "/bin/ls"}));
        QCOMPARE(w.titles()[0], u"Processes (2 of 5)"_s);
        // The keys go on from it among the shown rows.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Up);
        TRY_COMPARE(w.workspace().selection.activeRow(RowKind::process)->row.path,
                    std::string_view("/bin/sh"));
        // Hidden, it is chosen no more; shown again, it is.
        w.type(u"pid:12"_s);
        QVERIFY(!w.filter()->invalid());
        QCOMPARE(w.filter()->message()->text(), QString());
        QCOMPARE(w.field()->palette().color(QPalette::Text), normal);
        QCOMPARE(list->chosenRow(), -1);
        w.type(u"/bin/s"_s);
        QCOMPARE(list->chosenRow(), 0);
    }

    // Export… writes the shown rows. Then the log is overwritten: the rows
    // whose lines a json: term cannot read again are neither shown nor
    // hidden; the bar counts them, also after typing on narrows the query.
    void exportShownRowsThenUnreadableOnes() {
        const QString log = writeLog(dir_, u"rewritten.json"_s, lines_);
        Window w(log);
        w.type(u"pid:11"_s);
        ExportAction* action = w.filter()->exportAction();
        QSignalSpy done(action, &ExportAction::finished);
        const QString jsonl = dir_.filePath(u"out.jsonl"_s);
        action->exportTo(jsonl, ExportFormat::jsonLines);
        TRY_COMPARE(done.size(), 1);
        QCOMPARE(fileBytes(jsonl), (lines_[1] + "\n" + lines_[3] + "\n").toUtf8());
        QCOMPARE(w.filter()->message()->text(), u"Exported 2 rows to out.jsonl"_s);
        // The files tab, as CSV: quotes doubled, ppid empty.
        w.view.tabs()->setCurrentIndex(1);
        const QString csv = dir_.filePath(u"out.csv"_s);
        action->exportTo(csv, ExportAction::formatFor(csv, exportJsonLinesFilter()));
        TRY_COMPARE(done.size(), 2);
        QCOMPARE(fileBytes(csv), QByteArray("kind,type,timestamp,pid,ppid,path\n"
                                            "file,ES_EVENT_TYPE_NOTIFY_WRITE,1765000001.5,11,,"
                                            "\"/tmp/a,\"\"b\"\"\"\n"));
        QVERIFY(w.alerts.isEmpty());
        // A folder that is not there: the message, and no file.
        const QString missing = dir_.filePath(u"no-such-folder/out.csv"_s);
        action->exportTo(missing, ExportFormat::csv);
        TRY_COMPARE(done.size(), 3);
        QCOMPARE(w.alerts.size(), 2);
        QCOMPARE(w.alerts[0], exportFailedTitle());
        QVERIFY2(w.alerts[1].contains(missing), qPrintable(w.alerts[1]));
        // The format by extension first, then by the dialog's filter.
        QCOMPARE(ExportAction::formatFor("a.CSV", exportJsonLinesFilter()), ExportFormat::csv);
        QCOMPARE(ExportAction::formatFor("a.json", exportCsvFilter()), ExportFormat::jsonLines);
        QCOMPARE(ExportAction::formatFor("a", exportCsvFilter()), ExportFormat::csv);
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.write(QByteArray(lines_[0].size(), 'x'));  // proc 0's line, in place
        f.close();
        const struct {
            QString query;
            int procs;
            QString message;
        } steps[] = {
            {"json:NOTIFY", 4, "1 row could not be read again"},
            {"json:NOTIFY_EXEC", 3, "1 row could not be read again"},
            {"json:NOTIFY_EXEC pid:12", 1, ""},
        };
        for (const auto& step : steps) {
            w.type(step.query);
            QCOMPARE(w.procs().rowCount(), step.procs);
            QCOMPARE(w.filter()->message()->text(), step.message);
        }
    }

    // Every save dialog adds its suffix to a name typed without one before
    // it asks whether to replace a file: the question names the file really
    // written, and answered No, nothing is written.
    void saveDialogsAskAboutTheFileWritten() {
        Window w(log_);
        QTemporaryDir out;
        const char* const there[] = {"report.jsonl", "table.csv", "nulldev", "event.json",
                                     "received.json"};
        for (const char* name : there) {
            writeFile(out, QLatin1String(name), "old");
        }
        w.procPreview()->chooseRow(0);
        // A log received down a FIFO, for "Save received log as…".
        const QByteArray fifo = QFile::encodeName(out.filePath(u"pipe"_s));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        std::thread writer([&] { std::ofstream(fifo.toStdString()) << lines_[0].toStdString(); });
        w.workspace().loader.loadJsonFile(fifo.toStdString());
        TRY_VERIFY(hasReceivedLog(w.workspace()) && w.workspace().loader.idle());
        writer.join();
        ExportAction* action = w.filter()->exportAction();
        QSignalSpy exported(action, &ExportAction::finished);
        const struct {
            const char* name;
            char dialog;  // e Export…, s "Save event as…", r "Save received log as…"
            bool csv;     // the CSV filter chosen in the dialog's list
            QString typed;
            QString asked;    // the file the question names, if asked
            QString written;  // else the file written
        } cases[] = {
            {"export", 'e', false, u"report"_s, u"report.jsonl"_s, {}},
            {"export as CSV", 'e', true, u"table"_s, u"table.csv"_s, {}},
            // A file of the bare name is the one asked about, and written.
            {"bare name there", 'e', false, u"nulldev"_s, u"nulldev"_s, {}},
            {"new name", 'e', false, u"fresh"_s, {}, u"fresh.jsonl"_s},
            {"save event", 's', false, u"event"_s, u"event.json"_s, {}},
            {"save received log", 'r', false, u"received"_s, u"received.json"_s, {}},
        };
        for (const auto& c : cases) {
            if (c.dialog == 'e') {
                action->chooseFile();
            } else if (c.dialog == 's') {
                w.procDetail()->eventTextView()->chooseSaveFile();
            } else {
                chooseFileForReceivedLog(&w.view, w.workspace());
            }
            QFileDialog* dialog = nullptr;
            TRY_VERIFY((dialog = w.view.findChild<QFileDialog*>()) != nullptr);
            dialog->setDirectory(out.path());
            if (c.csv) {
                auto* types = dialog->findChild<QComboBox*>(u"fileTypeCombo"_s);
                QTest::keyClick(types, Qt::Key_Down);
                QCOMPARE(dialog->selectedNameFilter(), exportCsvFilter());
            }
            // The question runs in its own loop inside accept(): answered there.
            QString question;
            QTimer answer;
            connect(&answer, &QTimer::timeout, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    question = box->text();
                    box->button(QMessageBox::No)->click();
                }
            });
            answer.start(10);
            dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(c.typed);
            static_cast<QDialog*>(dialog)->accept();
            answer.stop();
            if (!c.asked.isEmpty()) {
                QVERIFY2(question.startsWith(c.asked + u" already exists"_s), qPrintable(question));
                QVERIFY(dialog->isVisible());
                dialog->reject();
            } else {
                QCOMPARE(question, QString());
                TRY_COMPARE(exported.size(), 1);
                QCOMPARE(exported[0][0].toString(), out.filePath(c.written));
            }
            TRY_VERIFY(w.view.findChild<QFileDialog*>() == nullptr);
        }
        for (const char* name : there) {
            QCOMPARE(fileBytes(out.filePath(QLatin1String(name))), QByteArray("old"));
        }
    }
};

QTEST_MAIN(FilterBarTest)
#include "test_filter_bar.moc"
