#include "ui/window/main_view.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include "describe/lifetime_text.h"
#include "query/query_edit.h"
#include "query/trace_summary.h"
#include "ui/look/style.h"
#include "ui/look/view_texts.h"
#include "ui/look/window_keys.h"
#include "ui/panel/event_panel.h"
#include "ui/rows/filtered_row_source.h"
#include "ui/rows/store_notifier.h"
#include "ui/window/detection_rules.h"
#include "ui/window/detections_panel.h"
#include "ui/window/filter_bar.h"
#include "ui/window/investigation_actions.h"
#include "ui/window/load_progress_view.h"
#include "ui/window/lost_messages_strip.h"
#include "ui/window/rules_dialog.h"
#include "ui/window/summary_window.h"
#include "ui/window/timeline_strip.h"
#include "ui/window/top_bar_view.h"
#include "ui/window/tree_marks_feed.h"
#include "ui/window/window_highlights.h"
#include "ui/window/window_title.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

MainView::MainView(TreeOpener openTree, QWidget* parent) : QWidget(parent) {
    registerFonts();
    workspace_ = std::make_unique<Workspace>([this](LogLoader::Task task) {
        // Thread-safe; dropped if this view is gone before the task runs.
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    });
    notifier_ = new StoreNotifier(*workspace_, this);

    // Tree windows learn which main window opened them.
    TreeOpener openTreeFromHere = [this, openTree = std::move(openTree)](TreeRequest request) {
        if (openTree) {
            request.origin = {this, [this](qint64 pid) { showEventsOfProcessTree(pid); },
                              [this](std::size_t place) { return lifetimeAt(place); }, treeMarks_};
            openTree(request);
        }
    };
    topBar_ = new TopBarView(*notifier_, std::move(openTreeFromHere), this);
    tabs_ = new QTabWidget(this);
    for (const RowKind kind : kRowKinds) {
        panels_[kind] = new EventPanel(*notifier_, kind, this);
    }
    panels_[RowKind::other]->hide();

    arrange();
    connectFilter();
    addShortcuts();
    followStore();
    investigation_ = new InvestigationActions(*this);
    timeline_->markHighlights(investigation_->highlights());
    WindowHighlights& highlights = investigation_->highlights();
    treeMarks_ =
        new TreeMarksFeed(*notifier_, highlights.rules(),
                          {{&highlights.rowsOf(RowKind::process), &highlights.rowsOf(RowKind::file),
                            &highlights.rowsOf(RowKind::other)}},
                          *this);
    addDetections();
}

void MainView::addDetections() {
    rules_ = new DetectionRules(*workspace_, *notifier_, this);
    detections_ = new DetectionsPanel(workspace_->store, this);
    detections_->hide();
    connect(detections_, &DetectionsPanel::rowChosen, this, &MainView::showRowAt);
    connect(rules_, &DetectionRules::applied, timeline_, &TimelineStrip::ruleHitsChanged);
    connect(rules_, &DetectionRules::talliesChanged, this, [this] {
        const RuleTallies& tallies = rules_->tallies();
        detections_->show(tallies);
        const int at = tabs_->indexOf(detections_);
        if (tallies.rows == 0) {
            if (at >= 0) {
                tabs_->removeTab(at);
                detections_->hide();
            }
        } else if (at < 0) {
            tabs_->addTab(detections_, detectionsTabTitle(tallies.rows));
        } else {
            tabs_->setTabText(at, detectionsTabTitle(tallies.rows));
        }
    });
}

void MainView::showRulesDialog() {
    if (!rulesDialog_) {
        rulesDialog_ = new RulesDialog(*rules_, this);
        rulesDialog_->setAttribute(Qt::WA_DeleteOnClose);
    }
    rulesDialog_->show();
    rulesDialog_->raise();
    rulesDialog_->activateWindow();
}

// The strips stacked above the tabs; a menu bar goes above them when the
// window's maker puts one there.
void MainView::arrange() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(topBar_);
    lostMessages_ = new LostMessagesStrip(*notifier_, this);
    layout->addWidget(lostMessages_);
    connect(lostMessages_, &LostMessagesStrip::gapChosen, this, &MainView::jumpToGap);
    filterBar_ = new FilterBar(*workspace_, tabs_, this);
    tabs_->addTab(processPanel(), tr("Processes"));
    filterBar_->addRows(processPanel()->preview()->filteredRows(), tr("Processes"));
    tabs_->addTab(filePanel(), tr("Files"));
    filterBar_->addRows(filePanel()->preview()->filteredRows(), tr("Files"));
    layout->addWidget(filterBar_);
    PerKind<FilteredRowSource*> lists{};
    for (const RowKind kind : kRowKinds) {
        lists[kind] = &panels_[kind]->preview()->filteredRows();
    }
    timeline_ = new TimelineStrip(lists, this);
    layout->addWidget(timeline_);
    layout->addWidget(tabs_, 1);
}

// What edits the filter field: the timeline's range and the rows' menus.
void MainView::connectFilter() {
    // The strip's range replaces the time bounds in the filter field.
    connect(timeline_, &TimelineStrip::rangeChosen, this, [this](qint64 from, qint64 to) {
        filterBar_->setQuery(QString::fromStdString(
            withTimeRange(filterBar_->field()->text().toStdString(), from, to)));
    });
    connect(timeline_, &TimelineStrip::rangeCleared, this, [this] {
        filterBar_->setQuery(
            QString::fromStdString(withoutTimeRange(filterBar_->field()->text().toStdString())));
    });
    connect(this, &MainView::filterQueryRequested, filterBar_, &FilterBar::setQuery);
    for (EventPanel* panel : panels_) {
        connect(panel->preview(), &EventPreview::filterActionChosen, filterBar_,
                &FilterBar::applyRowAction);
        connect(panel->preview(), &EventPreview::factFilterChosen, filterBar_,
                &FilterBar::applyFactFilter);
        connect(panel->preview(), &EventPreview::ruleFilterChosen, filterBar_,
                &FilterBar::applyRuleFilter);
    }
}

// The window-wide keys that are not the menu bar's.
void MainView::addShortcuts() {
    auto shortcut = [this](const QKeySequence& keys, auto action) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, action);
    };
    shortcut(keysOf(WindowCommand::legend), [this] { topBar_->toggleLegend(); });
    shortcut(keysOf(WindowCommand::errors), [this] { topBar_->toggleErrors(); });
    shortcut(keysOf(WindowCommand::nextTab), [this] { stepTab(1); });
    shortcut(keysOf(WindowCommand::previousTab), [this] { stepTab(-1); });
    topBar_->loadProgress()->installCancelKey(this);
    new WindowTitle(*notifier_, this);
    shortcut(keysOf(WindowCommand::focusFilter), [this] { filterBar_->focusField(); });
}

// What follows the store and the tabs: the columns an export writes, the
// Other events tab, the timeline's mark, a followed list's end.
void MainView::followStore() {
    filterBar_->exportAction()->setShownFields(
        [this](RowKind kind) { return panel(kind)->preview()->columnChoice().shownFields(); });
    connect(notifier_, &StoreNotifier::changed, this, &MainView::showOtherTab);
    connect(notifier_, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        for (const RowKind kind : kRowKinds) {
            if (StoreNotifier::has(fields, activeRowField(kind))) {
                markChosenTime();
                return;
            }
        }
    });
    connect(topBar_, &TopBarView::followingChanged, this, [this](bool on) {
        for (EventPanel* panel : panels_) {
            panel->preview()->list()->setStickToEnd(on);
        }
    });
    connect(tabs_, &QTabWidget::currentChanged, this, &MainView::markChosenTime);
}

void MainView::setFollowing(bool on) {
    topBar_->followButton()->setChecked(on);
}

void MainView::markChosenTime() {
    const QWidget* front = tabs_->currentWidget();
    TimeValue time = kNoTimeValue;
    for (const RowKind kind : kRowKinds) {
        const auto& chosen = workspace_->selection.activeRow(kind);
        if (front == panels_[kind] && chosen) {
            time = chosen->row.time;
        }
    }
    timeline_->setChosenTime(time);
}

void MainView::showSummary() {
    if (summary_ == nullptr) {
        summary_ = new SummaryWindow(*notifier_, this);
        connect(summary_, &SummaryWindow::lineChosen, this, [this](const SummaryLine& line) {
            const std::string terms = summaryLineTerms(line);
            if (terms.empty()) {
                return;
            }
            filterBar_->setQuery(QString::fromStdString(withReplacedTerms(
                filterBar_->field()->text().toStdString(), summaryTerms_, terms)));
            summaryTerms_ = terms;
        });
    }
    summary_->show();
    summary_->raise();
    summary_->activateWindow();
}

void MainView::jumpToGap(const SequenceGap& gap) {
    const EventStore& store = workspace_->store;
    for (LinePlace entry = gap.entry; entry.value() < store.lineRefs().size(); ++entry) {
        const auto made = store.rowAt(entry);
        EventPanel* panel = made ? panels_[made->kind] : nullptr;
        if (panel == nullptr || tabs_->indexOf(panel) < 0) {
            continue;  // stored only: no row
        }
        showRowAt(entry);
        return;
    }
}

bool MainView::showRowAt(LinePlace place) {
    const EventStore& store = workspace_->store;
    const auto made = store.rowAt(place);
    EventPanel* panel = made ? panels_[made->kind] : nullptr;
    if (panel == nullptr || tabs_->indexOf(panel) < 0) {
        return false;
    }
    tabs_->setCurrentWidget(panel);
    EventPreview* preview = panel->preview();
    const int row = preview->sortedRows().shownRowAt(place);
    if (row < 0) {
        return false;
    }
    preview->list()->scrollToRow(row);
    preview->chooseRow(row);
    return true;
}

void MainView::showOtherTab() {
    if (tabs_->indexOf(otherPanel()) >= 0 || workspace_->store.rows(RowKind::other).empty()) {
        return;
    }
    tabs_->addTab(otherPanel(), tr("Other events"));
    filterBar_->addRows(otherPanel()->preview()->filteredRows(), tr("Other events"));
}

void MainView::stepTab(int step) {
    const int n = tabs_->count();
    tabs_->setCurrentIndex((tabs_->currentIndex() + step + n) % n);
}

MainView::~MainView() {
    // The views read the store and the notifier observes it: both go before it.
    delete rulesDialog_;
    delete rules_;  // its workers read the store
    if (tabs_->indexOf(detections_) < 0) {
        delete detections_;
    }
    delete filterBar_;  // its export worker reads the store
    delete timeline_;   // its worker too
    delete summary_;    // and its
    delete topBar_;
    if (tabs_->indexOf(otherPanel()) < 0) {
        delete otherPanel();  // never shown: still this view's child
    }
    delete tabs_;
    delete notifier_;
}

Workspace& MainView::workspace() {
    return *workspace_;
}

std::string MainView::lifetimeAt(std::size_t place) const {
    const EventStore& store = workspace_->store;
    const auto row = store.rowOf(RowKind::process, LinePlace(place));
    return row ? processLifetimeText(store, *row) : std::string();
}

void MainView::showEventsOfProcessTree(qint64 pid) {
    QWidget* w = window();
    w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
    w->activateWindow();
    emit filterQueryRequested(QStringLiteral("tree:%1").arg(pid));
}

}  // namespace korvantis::ui
