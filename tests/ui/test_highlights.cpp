// Highlight rules in the window: precedence against a plain matcher, the
// palette's contrast, the dialog, and the rules kept as the default; and
// the filter field's memory of recent and named queries.

#include <QJsonDocument>
#include <QTableWidget>

#include "main_view_fixture.h"
#include "query/filter_query.h"
#include "ui/marks/highlighted_rows.h"
#include "ui/marks/highlights_dialog.h"
#include "ui/window/filter_bar.h"
#include "ui/window/filter_memory.h"
#include "ui/window/investigation_actions.h"
#include "ui/window/main_menu_bar.h"
#include "ui/window/query_history.h"
#include "ui/window/window_highlights.h"

namespace korvantis::ui::testing {

class TestHighlights : public QObject {
    Q_OBJECT

  private slots:
    // Every row takes the colour of the first rule that is on and matches
    // it, as a plain matcher over the rules in order says; painted under
    // the text.
    void firstMatchingRuleWins() {
        QTemporaryDir dir;
        Window w(writeProcLog(dir));
        WindowHighlights& highlights = w.view.investigation()->highlights();
        const QVector<HighlightRule> rules = {
            {"off", "path:/bin", "mint", false},    {"elevens", "pid:11", "rose", true},
            {"bins", "path:/bin", "amber", true},   {"broken", "\"unclosed", "sky", true},
            {"negative", "ppid:-7", "lilac", true},
        };
        highlights.rules().setRules(rules);
        HighlightedRows& rows = highlights.rowsOf(RowKind::process);
        TRY_VERIFY(rows.ready());
        for (int row = 0; row < kProcRows; ++row) {
            int expected = -1;
            for (int r = 0; r < rules.size() && expected < 0; ++r) {
                const ParsedFilterQuery q = parseFilterQuery(rules[r].query.toStdString());
                if (rules[r].on && q.query && q.query->matches(w.procs().row(row))) {
                    expected = r;
                }
            }
            QCOMPARE(rows.ruleAt(w.procs().rowPlace(row)), expected);
        }
        QCOMPARE(rows.ruleAt(w.procs().rowPlace(1)), 1);  // the matcher is not vacuous
        QCOMPARE(rows.ruleAt(w.procs().rowPlace(0)), 2);
        const QImage shown = w.procList()->viewport()->grab().toImage();
        const QRect r = w.procList()->rowRect(0);
        QCOMPARE(shown.pixelColor(r.right() - 1, r.top()),
                 highlightColor(QStringLiteral("amber"), w.procList()->palette()));
        // The chosen row's colours go over the highlight.
        clickRow(w.procList(), 1);
        TRY_VERIFY(cellShows(w.procList(), 1, 1, greenColor(w.procList()->palette())));
    }

    // Text and both marking colours read at 4.5:1 on every highlight, on a
    // light and on a dark palette.
    void paletteKeepsContrast() {
        QPalette light;
        light.setColor(QPalette::Base, Qt::white);
        light.setColor(QPalette::Text, Qt::black);
        QPalette dark;
        dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
        dark.setColor(QPalette::Text, Qt::white);
        for (const QPalette& palette : {light, dark}) {
            for (const QString& name : highlightColourNames()) {
                const QColor background = highlightColor(name, palette);
                QVERIFY(background.isValid());
                for (const QColor& text :
                     {palette.color(QPalette::Text), greenColor(palette), pinkColor(palette)}) {
                    QVERIFY2(contrast(text, background) >= 4.5,
                             qPrintable(name + u' ' + text.name()));
                }
            }
        }
        QVERIFY(!highlightColor(QStringLiteral("plaid"), light).isValid());
    }

    // View > Highlights… edits the rules; a wrong query keeps the dialog
    // open; Save as Default gives the next window the same rules; a
    // session's rules of the wrong form are dropped.
    void dialogEditsAndKeepsTheDefault() {
        Window w;
        QAction* action = nullptr;
        for (QAction* a : w.view.mainMenuBar()->viewMenu()->actions()) {
            action = a->text() == highlightsActionText() ? a : action;
        }
        QVERIFY(action != nullptr);
        action->trigger();
        WindowHighlights& highlights = w.view.investigation()->highlights();
        HighlightsDialog* dialog = highlights.dialog();
        QVERIFY(dialog != nullptr && dialog->isVisible());
        dialog->addRule({"curl", "path:curl", "sky", true});
        dialog->addRule({"bad", "\"open", "sand", true});
        dialog->accept();
        QVERIFY(dialog->isVisible());
        QVERIFY(highlights.rules().rules().isEmpty());
        dialog->table()->removeRow(1);
        emit dialog->defaultAsked(dialog->rules());
        dialog->accept();
        const QVector<HighlightRule> kept = {{"curl", "path:curl", "sky", true}};
        QCOMPARE(highlights.rules().rules(), kept);
        Window next;
        QCOMPARE(next.view.investigation()->highlights().rules().rules(), kept);

        const QJsonArray hostile = QJsonDocument::fromJson(R"([
            {"name":"ok","query":"pid:1","colour":"mint"},
            {"name":1,"query":"pid:1","colour":"mint"},
            {"name":"x","query":"pid:1","colour":"plaid"},
            {"name":"x","query":["pid:1"],"colour":"mint"},
            {"name":"x","query":"pid:1","colour":"mint","on":"yes"},
            7])")
                                       .array();
        const QVector<HighlightRule> read = {{"ok", "pid:1", "mint", true}};
        QCOMPARE(HighlightRules::fromJson(hostile), read);
    }

    // Queries are remembered when the user is done with them, each once,
    // newest first, at most 100; Up/Down walk them from the empty field;
    // the drop-down and the Saved Filters menu put one back.
    void filterRemembersQueries() {
        Window w;
        w.activate();
        QLineEdit* field = w.view.filterBar()->field();
        field->setFocus();
        for (const char* query : {"pid:1", "pid:2", "pid:1", "  "}) {
            field->clear();
            QTest::keyClicks(field, QString::fromLatin1(query));
            QTest::keyClick(field, Qt::Key_Return);
        }
        QCOMPARE(QueryHistory::queries(), QStringList({"pid:1", "pid:2"}));
        field->clear();
        const struct {
            Qt::Key key;
            QString shown;
        } steps[] = {{Qt::Key_Up, "pid:1"},
                     {Qt::Key_Up, "pid:2"},
                     {Qt::Key_Up, "pid:2"},
                     {Qt::Key_Down, "pid:1"},
                     {Qt::Key_Down, ""}};
        for (const auto& step : steps) {
            QTest::keyClick(field, step.key);
            QCOMPARE(field->text(), step.shown);
        }
        QTest::keyClicks(field, QStringLiteral("typed"));
        QTest::keyClick(field, Qt::Key_Up);
        QCOMPARE(field->text(), QStringLiteral("typed"));

        FilterMemory& memory = w.view.investigation()->filterMemory();
        for (QAction* a : field->actions()) {
            a->trigger();  // the drop-down button fills and opens the menu
        }
        memory.historyMenu()->hide();
        QAction* older = actionNamed(memory.historyMenu(), QStringLiteral("pid:2"));
        QVERIFY(older != nullptr);
        older->trigger();
        QCOMPARE(field->text(), QStringLiteral("pid:2"));
        QCOMPARE(QueryHistory::queries().first(), QStringLiteral("pid:2"));

        SavedFilters::save(QStringLiteral("curl"), QStringLiteral("path:curl"));
        emit memory.savedMenu()->aboutToShow();
        QAction* saved = actionNamed(memory.savedMenu(), QStringLiteral("curl"));
        QVERIFY(saved != nullptr);
        saved->trigger();
        QCOMPARE(field->text(), QStringLiteral("path:curl"));

        for (int i = 0; i < QueryHistory::kMaxQueries + 5; ++i) {
            QueryHistory::record(QStringLiteral("pid:%1").arg(i));
        }
        QCOMPARE(QueryHistory::queries().size(), QueryHistory::kMaxQueries);
        QCOMPARE(QueryHistory::queries().first(), QStringLiteral("pid:104"));
    }
};

}  // namespace korvantis::ui::testing

QTEST_MAIN(korvantis::ui::testing::TestHighlights)
#include "test_highlights.moc"
