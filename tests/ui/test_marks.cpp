// Bookmarks, tags and notes in the window, the Marks panel, and the
// sessions that keep them: saved as things change, restored when the same
// logs come back, written to and read from session files.

#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeWidget>

#include "investigation/line_numbers.h"
#include "investigation/marks_report.h"
#include "main_view_fixture.h"
#include "query/rows_snapshot.h"
#include "store/line_ref.h"
#include "ui/look/time_display_choice.h"
#include "ui/look/viewer_settings.h"
#include "ui/marks/card_marks_view.h"
#include "ui/marks/highlighted_rows.h"
#include "ui/marks/marks_notice.h"
#include "ui/marks/marks_panel.h"
#include "ui/marks/session_autosave.h"
#include "ui/marks/window_marks.h"
#include "ui/window/investigation_actions.h"
#include "ui/window/main_menu_bar.h"
#include "ui/window/report_export.h"
#include "ui/window/session_view_state.h"
#include "ui/window/window_highlights.h"

namespace korvantis::ui::testing {

// Sessions are kept in a folder of the test's run.
inline void keepSessionsApart() {
    static QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
}
Q_COREAPP_STARTUP_FUNCTION(keepSessionsApart)

struct MarkedWindow : Window {
    using Window::Window;
    InvestigationActions& marking() { return *view.investigation(); }
    WindowMarks& marks() { return marking().marks(); }
    // The stored line of process row `row`.
    LinePlace entryOf(int row) { return procs().rowPlace(row); }
    int chosenRow() {
        const std::optional<LinePlace> chosen = procPreview()->selector().selected();
        return chosen ? procPreview()->sortedRows().shownRowAt(*chosen) : -1;
    }
    bool bookmarked(int row) {
        const MarkText* mark = marks().markAt(entryOf(row));
        return mark != nullptr && mark->hasTag("bookmark");
    }
    QString notice() {
        MarksNotice* n = marking().notice();
        return n->isVisible() ? n->label()->text() : QString();
    }
    // Saves to or opens a session file, both done in the background: why it
    // failed, or empty.
    QString sessionFile(void (InvestigationActions::*start)(const QString&),
                        void (InvestigationActions::*done)(const QString&, const QString&),
                        const QString& file) {
        QSignalSpy ended(&marking(), done);
        (marking().*start)(file);
        return ended.wait(kTimeout) ? ended.at(0).at(1).toString() : QStringLiteral("timed out");
    }
    QString saveSession(const QString& file) {
        return sessionFile(&InvestigationActions::saveSessionTo,
                           &InvestigationActions::sessionSaved, file);
    }
    QString openSession(const QString& file) {
        return sessionFile(&InvestigationActions::openSession, &InvestigationActions::sessionOpened,
                           file);
    }
};

class TestMarks : public QObject {
    Q_OBJECT

  private slots:
    void init() { QDir(SessionAutosave::folder()).removeRecursively(); }

    // Ctrl+B marks the chosen row, F2 and Shift+F2 go round the bookmarks
    // of the list, the row menu and the Marks panel show and reach them.
    void bookmarksAreSetAndVisited() {
        QTemporaryDir dir;
        MarkedWindow w(writeProcLog(dir));
        w.activate();
        for (int row : {5, 2}) {
            clickRow(w.procList(), row);
            TRY_COMPARE(w.chosenRow(), row);
            QTest::keyClick(&w.view, Qt::Key_B, Qt::ControlModifier);
            QVERIFY(w.bookmarked(row));
        }
        QVERIFY(!w.bookmarked(3));
        // Bookmarked rows carry a bar at their left edge.
        const QImage shown = w.procList()->viewport()->grab().toImage();
        const QColor bar = bookmarkColor(w.procList()->palette());
        const auto barred = [&](int row) {
            const QRect r = w.procList()->rowRect(row);
            return shown.pixelColor(1, r.center().y()) == bar;
        };
        QVERIFY(barred(5) && barred(2) && !barred(3));
        // In list order from the chosen row, going round with a notice.
        const struct {
            Qt::KeyboardModifiers modifiers;
            int row;
            QString notice;
        } steps[] = {
            {Qt::NoModifier, 5, {}},
            {Qt::NoModifier, 2, wrappedToFirstBookmarkText()},
            {Qt::ShiftModifier, 5, wrappedToLastBookmarkText()},
            {Qt::ShiftModifier, 2, {}},
        };
        for (const auto& step : steps) {
            w.marking().notice()->hide();
            QTest::keyClick(&w.view, Qt::Key_F2, step.modifiers);
            TRY_COMPARE(w.chosenRow(), step.row);
            QCOMPARE(w.notice(), step.notice);
        }
        // The row menu tells and toggles the bookmark.
        RowMenu* menu = w.procPreview()->menuForRow(2);
        QAction* bookmark = actionNamed(menu, bookmarkText());
        QVERIFY(bookmark != nullptr && bookmark->isChecked());
        QVERIFY(actionNamed(menu, tagsActionText()) && actionNamed(menu, noteActionText()));
        bookmark->trigger();
        QVERIFY(!w.bookmarked(2));
        delete menu;

        // The panel lists the marks in time order; a click goes to the row.
        QVERIFY(w.marks().edit(w.entryOf(3), {MarkEdit::Kind::setNote, "the curl\nit ran"}));
        QTest::keyClick(&w.view, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        MarksPanel* panel = w.marking().marksPanel();
        QVERIFY(panel != nullptr && panel->isVisible());
        QTreeWidget* list = panel->list();
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("/bin/cat"));
        QCOMPARE(list->topLevelItem(0)->text(5), QStringLiteral("the curl"));
        QCOMPARE(list->topLevelItem(1)->text(4), QStringLiteral("bookmark"));
        emit list->itemClicked(list->topLevelItem(0), 0);
        TRY_COMPARE(w.chosenRow(), 3);
    }

    // The filter's tag: and note: keys see the window's marks as the command
    // line's do, each query against a plain check of the rows' marks, and
    // the rows shown follow a mark made while the filter is in force.
    void filterSeesMarks() {
        QTemporaryDir dir;
        MarkedWindow w(writeProcLog(dir));
        QVERIFY(w.marks().setTags(w.entryOf(2), {"Dropper", "bookmark"}));
        QVERIFY(w.marks().toggleBookmark(w.entryOf(5)));
        QVERIFY(w.marks().edit(w.entryOf(7), {MarkEdit::Kind::setNote, "The CURL it ran"}));
        QCOMPARE(w.procs().text(2, FieldId::tags), QStringLiteral("bookmark,dropper"));
        std::vector<LinePlace> entries;
        for (int row = 0; row < kProcRows; ++row) {
            entries.push_back(w.entryOf(row));
        }
        const auto tagged = [](const MarkText* m, const char* tag) {
            return m != nullptr && m->hasTag(tag);
        };
        const auto noted = [](const MarkText* m) {
            return m != nullptr &&
                   QString::fromStdString(m->note).contains(u"curl", Qt::CaseInsensitive);
        };
        const struct {
            QString query;
            std::function<bool(const MarkText*)> keeps;
        } cases[] = {
            {"tag:bookmark", [&](const MarkText* m) { return tagged(m, "bookmark"); }},
            {"tag:DROPPER", [&](const MarkText* m) { return tagged(m, "dropper"); }},
            {"-tag:bookmark", [&](const MarkText* m) { return !tagged(m, "bookmark"); }},
            {"tag:drop", [](const MarkText*) { return false; }},
            {"note:curl", noted},
            {"-note:Curl", [&](const MarkText* m) { return !noted(m); }},
            {"tag:bookmark -tag:dropper",
             [&](const MarkText* m) { return tagged(m, "bookmark") && !tagged(m, "dropper"); }},
        };
        for (const auto& c : cases) {
            std::vector<LinePlace> expected;
            for (const LinePlace entry : entries) {
                if (c.keeps(w.marks().markAt(entry))) {
                    expected.push_back(entry);
                }
            }
            w.view.filterBar()->setQuery(c.query);
            FilteredRowSource& rows = w.procPreview()->filteredRows();
            TRY_VERIFY(rows.filtered() && !rows.searching());
            std::vector<LinePlace> shown;
            for (int row = 0; row < w.procs().rowCount(); ++row) {
                shown.push_back(w.entryOf(row));
            }
            QVERIFY2(shown == expected, qPrintable(c.query));
        }
        w.view.filterBar()->setQuery(QStringLiteral("tag:bookmark"));
        TRY_COMPARE(w.procs().rowCount(), 2);
        QVERIFY(w.marks().toggleBookmark(entries[8]));
        TRY_COMPARE(w.procs().rowCount(), 3);
        QCOMPARE(w.entryOf(2), entries[8]);
        QVERIFY(w.marks().toggleBookmark(entries[2]));
        TRY_COMPARE(w.procs().rowCount(), 2);
        // Sorted by tags or by note with no filter on, the rows are sorted
        // again as marks change.
        w.view.filterBar()->setQuery(QString());
        TRY_COMPARE(w.procs().rowCount(), kProcRows);
        SortedRowSource& sorted = w.procPreview()->sortedRows();
        for (const auto& [field, edit] :
             {std::pair{FieldId::tags, MarkEdit{MarkEdit::Kind::addTag, "zz"}},
              std::pair{FieldId::note, MarkEdit{MarkEdit::Kind::setNote, "zz"}}}) {
            sorted.setSort(field, true);
            TRY_VERIFY(sorted.sorted());
            const LinePlace last = w.entryOf(kProcRows - 1);
            QVERIFY(w.marks().edit(last, edit));
            TRY_COMPARE(w.entryOf(0), last);
        }
    }

    // The facts card's note is edited in place: kept on Ctrl+Return and
    // when the field loses the focus, put back by Esc, refused over 64 KiB,
    // and it follows the note set elsewhere and the row chosen.
    void noteIsEditedUnderTheCard() {
        QTemporaryDir dir;
        MarkedWindow w(writeProcLog(dir));
        w.activate();
        auto* card = w.procDetail()->findChild<CardMarksView*>();
        QVERIFY(card != nullptr);
        QPlainTextEdit* note = card->note();
        const auto noteOf = [&](int row) {
            const MarkText* mark = w.marks().markAt(w.entryOf(row));
            return mark != nullptr ? mark->note : std::string();
        };
        clickRow(w.procList(), 3);
        TRY_VERIFY(card->isVisible());
        note->setFocus();
        QTest::keyClicks(note, QStringLiteral("dropper"));
        QTest::keyClick(note, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(noteOf(3), "dropper");
        QTest::keyClicks(note, QStringLiteral(" again"));
        QTest::keyClick(note, Qt::Key_Escape);
        QCOMPARE(note->toPlainText(), QStringLiteral("dropper"));
        QCOMPARE(noteOf(3), "dropper");
        // Typed, then another row chosen: the text stays with its row.
        note->setFocus();
        QTest::keyClicks(note, QStringLiteral("!"));
        clickRow(w.procList(), 5);
        TRY_COMPARE(note->toPlainText(), QString());
        QCOMPARE(noteOf(3), "dropper!");
        QVERIFY(w.marks().edit(w.entryOf(5), {MarkEdit::Kind::setNote, "from the menu"}));
        QCOMPARE(note->toPlainText(), QStringLiteral("from the menu"));
        QVERIFY(w.marks().edit(w.entryOf(5), {MarkEdit::Kind::addTag, "launchd"}));
        QCOMPARE(card->tags()->text(), cardTagsText(QStringLiteral("launchd")));
        note->setPlainText(QString(int(kMaxNoteBytes) + 1, 'x'));
        QVERIFY(!card->keepNote());
        QCOMPARE(noteOf(5), "from the menu");
    }

    // A window closed and the same log opened again: the marks and the
    // filter come back, with a notice that can start afresh.
    void sessionIsRestoredForTheSameLogs() {
        QTemporaryDir dir;
        const QString log = writeProcLog(dir);
        {
            MarkedWindow w(log);
            QVERIFY(w.marks().toggleBookmark(w.entryOf(3)));
            QVERIFY(w.marks().edit(w.entryOf(1), {MarkEdit::Kind::setNote, "forked"}));
            w.view.filterBar()->setQuery(QStringLiteral("pid:11"));
            w.marking().highlights().rules().setRules({{"sh", "path:/bin/sh", "rose", false}});
        }
        const QString kept = SessionAutosave::fileFor({realLogPath(log.toStdString())});
        QVERIFY(QFileInfo::exists(kept));

        MarkedWindow w;
        w.workspace().loader.loadJsonFile(log.toStdString());
        TRY_VERIFY(w.notice().startsWith(restoredSessionText({}).trimmed()));
        TRY_COMPARE(w.procPreview()->filteredRows().totalCount(), kProcRows);
        QCOMPARE(w.view.filterBar()->field()->text(), QStringLiteral("pid:11"));
        TRY_COMPARE(w.marks().marked().size(), std::size_t(2));
        TRY_COMPARE(w.procs().rowCount(), 2);  // the filter applied: rows 1 and 2 shown
        QCOMPARE(w.marks().markAt(w.entryOf(0))->note, "forked");
        // The rows carry the restored texts, for the lists, the filter and exports.
        const EventStore& store = w.workspace().store;
        const auto forked = store.rowOf(RowKind::process, w.entryOf(0));
        TRY_COMPARE(store.row(RowKind::process, forked->value()).note, std::string_view("forked"));
        const QVector<HighlightRule> rules = {{"sh", "path:/bin/sh", "rose", false}};
        QCOMPARE(w.marking().highlights().rules().rules(), rules);

        // Start fresh: no marks, no filter, no kept session.
        w.marking().notice()->button()->click();
        QVERIFY(w.marks().marked().empty());
        QCOMPARE(w.view.filterBar()->field()->text(), QString());
        QVERIFY(w.marking().highlights().rules().rules().isEmpty());
        QVERIFY(!QFileInfo::exists(kept));
    }

    // Closed and opened again, the window's lists come back as they were:
    // sort, shown columns and widths, time display, chosen row and first
    // shown row, though the settings have forgotten them meanwhile; a
    // session written before the window kept them still opens.
    void viewComesBackAfterClosing() {
        QTemporaryDir dir;
        QStringList lines;
        for (int i = 0; i < 300; ++i) {
            lines.append(procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1000 + i, 1,
                                  QStringLiteral("/bin/p%1").arg(i),
                                  QString::number(1765000000 + i) + QStringLiteral(".5")));
        }
        const QString log = writeLog(dir, QStringLiteral("many.json"), lines);
        FieldId extra{};
        LinePlace chosen;
        int first = 0;
        {
            MarkedWindow w;
            w.load(log, 300);
            EventPreview* preview = w.procPreview();
            for (const EventColumn& c : preview->columnChoice().available()) {
                if (!preview->columnChoice().isShown(c.key)) {
                    extra = c.key;
                    break;
                }
            }
            preview->columnChoice().setShown(extra, true);
            preview->columns().setWidth(0, 151);
            int pidColumn = -1;
            for (int i = 0; i < preview->columns().count(); ++i) {
                pidColumn = preview->columns().column(i).key == FieldId::pid ? i : pidColumn;
            }
            QVERIFY(pidColumn >= 0);
            preview->cycleSort(pidColumn);
            preview->cycleSort(pidColumn);
            TRY_VERIFY(preview->sortedRows().sorted());
            TimeDisplayChoice::instance().setDisplay(TimeDisplay::utc);
            QVERIFY(w.marks().toggleBookmark(w.entryOf(10)));
            preview->chooseRow(120);
            chosen = w.entryOf(120);
            preview->list()->verticalScrollBar()->setValue(100);
            first = preview->list()->firstRow();
            QVERIFY(first > 0);
        }
        viewerSettings().remove(QStringLiteral("columns"));
        viewerSettings().remove(QStringLiteral("widths"));
        TimeDisplayChoice::instance().setDisplay(TimeDisplay::asRecorded);

        {
            MarkedWindow w;
            EventPreview* preview = w.procPreview();
            const int freshWidth = preview->columns().width(0, 0);
            w.workspace().loader.loadJsonFile(log.toStdString());
            TRY_VERIFY(w.notice().startsWith(restoredSessionText({}).trimmed()));
            TRY_VERIFY(!w.marking().viewState().waiting());
            QCOMPARE(preview->sortedRows().sortKey(), std::optional(FieldId::pid));
            QVERIFY(preview->sortedRows().descending());
            QVERIFY(preview->columnChoice().isShown(extra));
            QCOMPARE(preview->columns().width(0, 0), 151);
            QCOMPARE(TimeDisplayChoice::instance().display(), TimeDisplay::utc);
            QCOMPARE(preview->selector().selected(), std::optional(chosen));
            QCOMPARE(preview->list()->firstRow(), first);
            QCOMPARE(w.entryOf(120), chosen);
            // Start fresh: the sort, the columns and their widths go back as well.
            w.marking().notice()->button()->click();
            QCOMPARE(preview->sortedRows().sortKey(), std::nullopt);
            QVERIFY(!preview->columnChoice().isShown(extra));
            QCOMPARE(preview->columns().width(0, 0), freshWidth);
        }
        TimeDisplayChoice::instance().setDisplay(TimeDisplay::asRecorded);

        const QString old = dir.filePath(QStringLiteral("old.korvantis"));
        QFile f(old);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"format":"korvantis-session","version":1,"logs":["many.json"],)"
                R"("view":{"filter":"pid:1005"}})");
        f.close();
        MarkedWindow w;
        QCOMPARE(w.openSession(old), QString());
        TRY_COMPARE(w.procs().rowCount(), 1);
        QVERIFY(!w.marking().viewState().waiting());
    }

    // Save Session As… and Open Session…: the logs, their marks and the
    // filter come back in another window, over the session kept of them;
    // a session file that cannot be read loads nothing and stays as it is.
    void sessionFilesRoundTrip() {
        QTemporaryDir dir;
        const QString log = writeProcLog(dir);
        const QString file = dir.filePath(QStringLiteral("case.korvantis"));
        {
            MarkedWindow w(log);
            QVERIFY(w.marks().setTags(w.entryOf(4), {"Dropper", "bookmark"}));
            QVERIFY(w.marks().toggleBookmark(w.entryOf(8)));
            QCOMPARE(w.saveSession(file), QString());
            QVERIFY(w.marks().setTags(w.entryOf(4), {}));  // kept by the autosave only
        }
        const QString text = QString::fromUtf8(fileBytes(file));
        QVERIFY2(text.contains(QStringLiteral("\"procs.json\"")), qPrintable(text));

        MarkedWindow w;
        QCOMPARE(w.openSession(file), QString());
        TRY_COMPARE(w.procs().rowCount(), kProcRows);
        TRY_COMPARE(w.marks().marked().size(), std::size_t(2));
        QCOMPARE(w.marks().markAt(w.entryOf(4))->tags, "bookmark,dropper");
        QVERIFY(w.notice().isEmpty());

        // Which files are refused is the session reader's to test; a refused
        // one loads nothing and is left as it was.
        const QString bad = dir.filePath(QStringLiteral("bad.korvantis"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not json");
        f.close();
        MarkedWindow other;
        QVERIFY(!other.openSession(bad).isEmpty());
        QCOMPARE(other.workspace().store.logFiles().size(), std::size_t(0));
        QCOMPARE(fileBytes(bad), QByteArray("not json"));
    }

    // A log changed where it was marked: the mark is shown on no row, told
    // of in a notice and listed greyed with its line.
    void changedLineDetachesItsMark() {
        QTemporaryDir dir;
        QString log = writeProcLog(dir);
        {
            MarkedWindow w(log);
            QVERIFY(w.marks().toggleBookmark(w.entryOf(1)));
            QVERIFY(w.marks().toggleBookmark(w.entryOf(2)));
        }
        QStringList lines = QString::fromUtf8(fileBytes(log)).split('\n', Qt::SkipEmptyParts);
        lines[1] = procLine("ES_EVENT_TYPE_NOTIFY_FORK", 11, 10, "/bin/other");
        log = writeLog(dir, QStringLiteral("procs.json"), lines);

        MarkedWindow w(log);
        TRY_COMPARE(w.notice(), detachedMarksText(1, QStringLiteral("procs.json")));
        QVERIFY(!w.bookmarked(1));
        QVERIFY(w.bookmarked(2));
        w.marking().notice()->button()->click();  // Show
        QTreeWidget* list = w.marking().marksPanel()->list();
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(1)->text(0), detachedMarkText(2));
        QVERIFY(list->topLevelItem(1)->isDisabled());
    }

    // Following a log: rows that arrive take the marks made on their lines
    // while the checksum matches, and the highlight rules, as they come.
    void marksComeWithFollowedRows() {
        QTemporaryDir dir;
        const QString log = writeProcLog(dir);
        MarkedWindow w;
        w.view.setFollowing(true);
        w.load(log, kProcRows);
        w.marking().highlights().rules().setRules({{"new", "pid:778", "mint", true}});
        QVERIFY(w.marks().toggleBookmark(w.entryOf(2)));
        const QString coming = procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 777, 1, "/bin/new");
        MarkBook book;
        LogMarks& marks = book.marksOf(realLogPath(log.toStdString()));
        MarkText bookmark;
        bookmark.addTag("bookmark");
        marks[{kProcRows + 1, lineChecksum(coming.toStdString())}] = bookmark;
        marks[{kProcRows + 2, lineChecksum(coming.toStdString())}] = bookmark;  // not its text
        marks[{w.marks().lineOf(w.entryOf(2)), lineChecksum("other")}] = bookmark;
        w.marks().adopt(book);      // as a session read while following would
        QVERIFY(!w.bookmarked(2));  // its line's text is not the one marked
        {
            QFile f(log);
            QVERIFY(f.open(QIODevice::Append));
            f.write((coming + u'\n' + procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 778, 1, "/bin/other") +
                     u'\n')
                        .toUtf8());
        }
        TRY_COMPARE(w.procs().rowCount(), kProcRows + 2);
        QVERIFY(w.bookmarked(kProcRows));
        QVERIFY(!w.bookmarked(kProcRows + 1));
        QCOMPARE(w.marks().marked().size(), std::size_t(1));
        HighlightedRows& rows = w.marking().highlights().rowsOf(RowKind::process);
        TRY_COMPARE(rows.ruleAt(w.entryOf(kProcRows + 1)), 0);
        QCOMPARE(rows.ruleAt(w.entryOf(kProcRows)), -1);
    }

    // File > Export Report… writes, off the window's thread, the page the
    // core makes of the marks the filter shows; a write that fails is told.
    void reportIsExported() {
        QTemporaryDir dir;
        MarkedWindow w(writeProcLog(dir));
        for (int row : {1, 3, 5}) {
            QVERIFY(w.marks().edit(w.entryOf(row), {MarkEdit::Kind::setNote, "<b>seen</b>"}));
        }
        w.view.filterBar()->setQuery(QStringLiteral("tree:10"));
        TRY_COMPARE(w.procs().rowCount(), 4);
        QVERIFY(actionNamed(w.view.mainMenuBar()->fileMenu(), exportReportActionText()));
        ReportExport& report = w.marking().report();
        QSignalSpy done(&report, &ReportExport::finished);
        const QString file = dir.filePath(QStringLiteral("report.html"));
        report.exportTo(file);
        QVERIFY(done.wait(kTimeout));
        QCOMPARE(done.at(0).at(1).toString(), QString());
        FilterQuery query = *parseFilterQuery("tree:10").query;
        const PreviewRows& procs = w.workspace().store.rows(RowKind::process);
        query.bindTrees(processLinks(procs.snapshot(procs.size())));
        const std::string html =
            marksReport(w.workspace().store, w.marks().rowMarks(), "tree:10", query);
        QCOMPARE(fileBytes(file).toStdString(), html);
        QVERIFY(html.find("/bin/cat") != std::string::npos);  // shown: in the tree of 10
        QVERIFY(html.find("/self<") == std::string::npos);    // marked, not shown
        report.exportTo(dir.filePath(QStringLiteral("no/such/folder/report.html")));
        QVERIFY(done.wait(kTimeout));
        QVERIFY(!done.at(1).at(1).toString().isEmpty());
        TRY_COMPARE(w.notice(), done.at(1).at(1).toString());
    }

    // A picture of bookmarked rows, a highlight rule and the Marks panel.
    void picture() {
        QTemporaryDir dir;
        MarkedWindow w(writeProcLog(dir));
        for (int row : {0, 3, 7}) {
            QVERIFY(w.marks().toggleBookmark(w.entryOf(row)));
        }
        QVERIFY(w.marks().edit(w.entryOf(3), {MarkEdit::Kind::setNote, "the child it ran"}));
        QVERIFY(w.marks().setTags(w.entryOf(7), {"bookmark", "launchd"}));
        w.marking().highlights().rules().setRules({{"fork", "FORK", "amber", true}});
        TRY_VERIFY(w.marking().highlights().rowsOf(RowKind::process).ready());
        clickRow(w.procList(), 3);
        w.marking().showMarksPanel();
        QCoreApplication::processEvents();
        const QPixmap main = w.view.grab();
        const QPixmap panel = w.marking().marksPanel()->grab();
        QImage both(main.width(), main.height() + panel.height(), QImage::Format_RGB32);
        both.fill(Qt::white);
        QPainter painter(&both);
        painter.drawPixmap(0, 0, main);
        painter.drawPixmap(0, main.height(), panel);
        painter.end();
        const QDir shots(QStringLiteral(KORVANTIS_SCREENSHOT_DIR));
        QVERIFY(shots.mkpath(QStringLiteral(".")));
        QVERIFY(both.save(shots.filePath(QStringLiteral("main-marks.png"))));
    }
};

}  // namespace korvantis::ui::testing

QTEST_MAIN(korvantis::ui::testing::TestMarks)
#include "test_marks.moc"
