// Detection rules in the window: the "Detections" tab and its jump to a
// row, rules added while a log is open, and View > Detection Rules….

#include <QCheckBox>
#include <QListWidget>
#include <QTreeWidget>

#include "index/index_cache.h"
#include "query/filter_query.h"
#include "rules/rule_hit_sets.h"
#include "ui/list/preview_list.h"
#include "ui/look/time_display_choice.h"
#include "ui/marks/highlighted_rows.h"
#include "ui/panel/facts_card_view.h"
#include "ui/panel/row_menu.h"
#include "ui/window/detection_rules.h"
#include "ui/window/detections_panel.h"
#include "ui/window/investigation_actions.h"
#include "ui/window/rules_dialog.h"
#include "ui/window/timeline_strip.h"
#include "ui/window/window_highlights.h"
#include "ui_test_support.h"

using namespace korvantis;
using namespace korvantis::ui;
using namespace korvantis::ui::testing;
using namespace Qt::StringLiterals;

namespace {

// Two rules in one file, in this order, and a file that is no rule.
constexpr const char* kRules = R"(title: Script compiler run
id: t-compile
description: osacompile ran.
level: high
logsource: {product: macos, category: process_creation}
detection:
  s: {Image|endswith: /osacompile}
  condition: s
---
title: Shell run
level: low
logsource: {product: macos, category: process_creation}
detection:
  s: {Image|endswith: [/sh, /zsh]}
  condition: s
)";
constexpr const char* kNoRule = "title: no detection\n";

// Row 0 and 3 fire the first rule, 1 the second; 2 none.
QStringList hitLog() {
    return {
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 10, 1, u"/usr/bin/osacompile"_s),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 11, 1, u"/bin/zsh"_s),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 12, 11, u"/bin/ls"_s),
        procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 13, 11, u"/usr/bin/osacompile"_s, u"1765000009.5"_s)};
}

// The lines of a tree widget's items, columns joined by '|', children
// indented.
QStringList lines(const QTreeWidget* tree, const QList<int>& columns) {
    QStringList out;
    const std::function<void(const QTreeWidgetItem*, const QString&)> add =
        [&](const QTreeWidgetItem* item, const QString& indent) {
            QStringList cells;
            for (int c : columns) {
                cells << item->text(c);
            }
            out << indent + cells.join(u'|');
            for (int i = 0; i < item->childCount(); ++i) {
                add(item->child(i), indent + u"  "_s);
            }
        };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        add(tree->topLevelItem(i), {});
    }
    return out;
}

// The colour of the rule mark drawn before row `row` of `list`, invalid
// when the list shows none.
QColor shownRuleMark(PreviewList* list, int row) {
    const QImage image = list->viewport()->grab().toImage();
    const QPoint at =
        PreviewList::ruleMarkRect(list->rowRect(row)).center() * image.devicePixelRatio();
    const QColor color = image.pixelColor(at);
    return color == list->palette().color(QPalette::Base) ||
                   color == list->palette().color(QPalette::AlternateBase)
               ? QColor()
               : color;
}

// The title of the tab holding the Detections list, empty when it is not
// in the tabs.
QString detectionsTab(MainView& view) {
    const int at = view.tabs()->indexOf(view.detectionsPanel());
    return at < 0 ? QString() : view.tabs()->tabText(at);
}

}  // namespace

class DetectionsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString ruleDir_;
    QString log_;

    // The window's rules as the settings name them: the bundled set and
    // the rule folders.
    static void useRules(bool bundled, const QStringList& folders) {
        DetectionRules::setBundledOn(bundled);
        DetectionRules::setFolders(folders);
    }

  private slots:
    void initTestCase() {
        QVERIFY(QDir(dir_.path()).mkpath(u"rules/sub"_s));
        ruleDir_ = dir_.filePath(u"rules"_s);
        writeLog(dir_, u"rules/a.yml"_s, {QString::fromUtf8(kRules)});
        writeLog(dir_, u"rules/sub/b.yaml"_s, {QString::fromUtf8(kNoRule)});
        log_ = writeLog(dir_, u"hits.json"_s, hitLog());
    }

    // The tab appears with the count of rows with hits, lists the rules in
    // rule order with their hit rows, and a double-click chooses the row in
    // its list. The rows carry marks in their level's colour, the facts card
    // names the rules, and the row menu keeps the rows of one.
    void detectionsListJumpsToTheRow() {
        useRules(false, {ruleDir_});
        ShownWindow w;
        w.load(log_, 4);
        TRY_COMPARE(detectionsTab(w.view), detectionsTabTitle(3));
        DetectionsPanel* panel = w.view.detectionsPanel();
        TRY_COMPARE(panel->topLevelItemCount(), 2);
        QCOMPARE(lines(panel, {0, 1, 2}),
                 QStringList({u"high|Script compiler run|2"_s, u"low|Shell run|1"_s}));
        QCOMPARE(panel->topLevelItem(0)->foreground(0).color(),
                 ruleLevelColor(RuleLevel::high, panel->palette()));
        panel->topLevelItem(0)->setExpanded(true);
        QCOMPARE(
            lines(panel, {1, 2, 3}).mid(0, 3),
            QStringList({u"Script compiler run|2|"_s, u"  1765000000.1|10|/usr/bin/osacompile"_s,
                         u"  1765000009.5|13|/usr/bin/osacompile"_s}));
        QTreeWidgetItem* second = panel->topLevelItem(0)->child(1);
        QVERIFY(panel->placeOf(panel->topLevelItem(0)) == std::nullopt);
        const LinePlace place = *panel->placeOf(second);
        QSignalSpy chosen(panel, &DetectionsPanel::rowChosen);
        emit panel->itemDoubleClicked(second, 1);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(w.view.tabs()->currentWidget(), w.view.processPanel());
        const auto& active = w.selection().activeRow(RowKind::process);
        QVERIFY(active.has_value());
        QCOMPARE(active->place.value(), place.value());
        QCOMPARE(w.procList()->chosenRow(), 3);
        // The rows' times are shown as the lists show them, and follow the choice.
        TimeDisplayChoice::instance().setDisplay(TimeDisplay::utc);
        QCOMPARE(second->text(1), w.procPreview()->rows().text(3, FieldId::timestamp));
        QVERIFY(second->text(1) != u"1765000009.5"_s);
        TimeDisplayChoice::instance().setDisplay(TimeDisplay::asRecorded);
        QCOMPARE(second->text(1), u"1765000009.5"_s);
        FactsCardView* card = w.procDetail()->eventTextView()->card();
        TRY_COMPARE(card->originalText(),
                    u"Rule: Script compiler run (high) \u2014 osacompile ran."_s);
        QVERIFY(card->isVisible());

        const QPalette& palette = w.procList()->palette();
        const QColor marks[] = {ruleLevelColor(RuleLevel::high, palette),
                                ruleLevelColor(RuleLevel::low, palette), QColor(),
                                ruleLevelColor(RuleLevel::high, palette)};
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(w.procList()->ruleMarkColor(row), marks[row]);
            QCOMPARE(shownRuleMark(w.procList(), row), marks[row]);
        }

        RowMenu* menu = w.procPreview()->menuForRow(1);
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->onlyRuleActions().size(), 1);
        QCOMPARE(menu->onlyRuleActions()[0]->text(), onlyRowsOfRuleText());
        QVERIFY(w.procPreview()->menuForRow(2)->onlyRuleActions().isEmpty());
        menu = w.procPreview()->menuForRow(0);
        menu->onlyRuleActions()[0]->trigger();
        QCOMPARE(w.view.filterBar()->field()->text(), u"rule:\"t-compile\""_s);
        TRY_COMPARE(w.procs().rowCount(), 2);
        w.view.filterBar()->setQuery({});
        TRY_COMPARE(w.procs().rowCount(), 4);
        w.view.tabs()->setCurrentWidget(panel);
        panel->topLevelItem(1)->setExpanded(true);
        savePicture(w.view, "main-detections.png");
    }

    // The timeline marks the slices of shown rows with hits in their highest
    // level's colour, and below them those of highlighted rows in the first
    // rule's colour, as a plain walk over the shown rows says.
    void timelineMarksHitsAndHighlights() {
        useRules(false, {ruleDir_});
        ShownWindow w;
        w.load(log_, 4);
        TRY_COMPARE(detectionsTab(w.view), detectionsTabTitle(3));
        const QVector<HighlightRule> rules = {{u"ls"_s, u"path:/bin/ls"_s, u"amber"_s, true},
                                              {u"elevens"_s, u"pid:11"_s, u"rose"_s, true}};
        WindowHighlights& highlights = w.view.investigation()->highlights();
        highlights.rules().setRules(rules);
        TimelineStrip* strip = w.view.timeline();
        const auto plainMarks = [&] {
            std::vector<SliceMark> marks(strip->allSlices().slices().size());
            for (int row = 0; row < w.procs().rowCount(); ++row) {
                const RowView view = w.procs().row(row);
                const std::ptrdiff_t slice = strip->allSlices().sliceOf(view.time);
                if (slice < 0) {
                    continue;
                }
                SliceMark& mark = marks[static_cast<std::size_t>(slice)];
                mark.level = higherLevel(mark.level, ruleLevelOf(view.ruleHits));
                for (int r = 0; r < rules.size(); ++r) {
                    const ParsedFilterQuery q = parseFilterQuery(rules[r].query.toStdString());
                    if (q.query->matches(view)) {
                        mark.highlight = mark.highlight < 0 ? r : std::min(mark.highlight, r);
                        break;
                    }
                }
            }
            return marks;
        };
        const auto marked = [&] {
            return highlights.rowsOf(RowKind::process).ready() && strip->counted() &&
                   strip->sliceMarks() == plainMarks();
        };
        TRY_VERIFY(marked());
        // Rows 0 to 2 share the first slice: high (row 0), amber (row 2 and
        // the earlier rule); row 3 alone in the last, high and no highlight.
        const std::vector<SliceMark>& marks = strip->sliceMarks();
        QCOMPARE(marks.front(), (SliceMark{RuleLevel::high, 0}));
        QCOMPARE(marks.back(), (SliceMark{RuleLevel::high, -1}));
        const QImage picture = strip->grab().toImage();
        const int band = strip->fontMetrics().height() + 2;
        const QPalette& palette = strip->palette();
        QCOMPARE(picture.pixelColor(0, band + 1), ruleLevelColor(RuleLevel::high, palette));
        QCOMPARE(picture.pixelColor(0, band + TimelineStrip::kMarkBand + 1),
                 highlightColor(u"amber"_s, palette));
        QVERIFY(picture.pixelColor(strip->width() - 1, band + TimelineStrip::kMarkBand + 1) !=
                highlightColor(u"amber"_s, palette));

        savePicture(w.view, "main-timeline-marks.png");

        // Hidden rows mark nothing: only zsh shown, low and rose.
        w.view.filterBar()->setQuery(u"pid:11"_s);
        TRY_COMPARE(w.procs().rowCount(), 1);
        TRY_VERIFY(marked());
        QCOMPARE(strip->sliceMarks().front(), (SliceMark{RuleLevel::low, 1}));
    }

    // Rules chosen while a log is open apply to its rows; removing them
    // takes the hits and the tab away again. The dialog lists every
    // document with its state.
    // A log read from its index under rules comes without hits: they are
    // worked out from its lines once it is in, as its first load found them.
    void rowsReadFromAnIndexGetTheirHits() {
        useRules(false, {ruleDir_});
        QTemporaryDir cacheDir;
        const auto cache = std::make_shared<IndexCache>(cacheDir.path().toStdString());
        for (const bool reopened : {false, true}) {
            ShownWindow w;
            w.workspace().loader.setIndexCache(cache);
            TRY_VERIFY(!w.view.detectionRules()->busy());
            w.load(log_, 4);
            TRY_COMPARE(detectionsTab(w.view), detectionsTabTitle(3));
            QCOMPARE(w.workspace().loader.outcomes().back().fromIndex, reopened);
            QCOMPARE(w.procList()->ruleMarkColor(0),
                     ruleLevelColor(RuleLevel::high, w.procList()->palette()));
        }
    }

    void rulesDialogAppliesToOpenLogs() {
        useRules(false, {});
        ShownWindow w;
        w.load(log_, 4);
        DetectionRules* rules = w.view.detectionRules();
        TRY_VERIFY(!rules->busy());
        QCOMPARE(detectionsTab(w.view), QString());
        w.view.showRulesDialog();
        auto* dialog = w.view.findChild<RulesDialog*>();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->folderList()->count(), 0);

        dialog->addFolder(ruleDir_);
        QCOMPARE(DetectionRules::folders(), QStringList({ruleDir_}));
        TRY_COMPARE(detectionsTab(w.view), detectionsTabTitle(3));
        TRY_VERIFY(!rules->busy());
        const QString label = ruleDir_;
        QCOMPARE(lines(dialog->entryList(), {0, 1, 2}),
                 QStringList({label + u"/a.yml#1|loaded|Script compiler run"_s,
                              label + u"/a.yml#2|loaded|Shell run"_s,
                              label + u"/sub/b.yaml#1|skipped|"_s +
                                  QString::fromStdString(rules->entries()[2].text)}));
        QVERIFY(!rules->entries()[2].text.empty());

        // The folder chosen and removed: no rules, no hits, no tab.
        dialog->folderList()->setCurrentRow(0);
        QVERIFY(dialog->removeButton()->isEnabled());
        QTest::mouseClick(dialog->removeButton(), Qt::LeftButton);
        QCOMPARE(DetectionRules::folders(), QStringList());
        TRY_COMPARE(detectionsTab(w.view), QString());
        TRY_VERIFY(!rules->busy());
        QCOMPARE(dialog->entryList()->topLevelItemCount(), 0);

        // The bundled set switched on: its documents all load.
        dialog->bundledSwitch()->setChecked(true);
        QVERIFY(DetectionRules::bundledOn());
        TRY_VERIFY(!rules->busy() && !rules->entries().empty());
        TRY_VERIFY(dialog->entryList()->topLevelItemCount() > 20);
        for (const QString& line : lines(dialog->entryList(), {0, 1})) {
            QVERIFY2(line.startsWith(u"bundled/"_s) && line.endsWith(u"|loaded"_s),
                     qPrintable(line));
        }
        QCOMPARE(rules->ruleCount(), std::size_t(dialog->entryList()->topLevelItemCount()));
    }
};

QTEST_MAIN(DetectionsTest)
#include "test_detections.moc"
