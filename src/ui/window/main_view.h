#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "store/row_kind.h"
#include "store/sequence_gap.h"
#include "store/store_index.h"
#include "ui/window/tree_request.h"

class QTabWidget;

namespace korvantis {
struct Workspace;
}

namespace korvantis::ui {

class StoreNotifier;
class TopBarView;
class EventPanel;
class FilterBar;
class LostMessagesStrip;
class TimelineStrip;
class SummaryWindow;
class InvestigationActions;
class TreeMarksFeed;
class MainMenuBar;
class DetectionRules;
class DetectionsPanel;

// The content of a main window: owns the window's event store and arranges
// the top bar and the event panels, one per kind of row; a MainMenuBar made
// on it puts itself above them. Window-wide keys besides the menu bar's:
// Ctrl+L and Ctrl+R switch the legend and the error list, Ctrl+Tab and
// Ctrl+Shift+Tab move between the tabs, Ctrl+F goes to the filter field, Esc
// cancels the loads while one runs. Its window's title names the loaded logs.
// The timeline marks the time of the row chosen in the tab in front.
class MainView : public QWidget {
    Q_OBJECT
  public:
    explicit MainView(TreeOpener openTree, QWidget* parent = nullptr);
    ~MainView() override;

    Workspace& workspace();

    StoreNotifier& notifier() const { return *notifier_; }
    TopBarView* topBar() const { return topBar_; }
    FilterBar* filterBar() const { return filterBar_; }
    TimelineStrip* timeline() const { return timeline_; }
    QTabWidget* tabs() const { return tabs_; }
    // The panel of each kind's rows. The "Other events" panel is in the tabs
    // only once the window holds an other row.
    EventPanel* panel(RowKind kind) const { return panels_[kind]; }
    EventPanel* processPanel() const { return panel(RowKind::process); }
    EventPanel* filePanel() const { return panel(RowKind::file); }
    EventPanel* otherPanel() const { return panel(RowKind::other); }
    LostMessagesStrip* lostMessagesStrip() const { return lostMessages_; }
    // The summary of the trace, once it has been asked for.
    SummaryWindow* summaryWindow() const { return summary_; }
    // Bookmarks, tags, notes, the Marks panel and the window's session.
    InvestigationActions* investigation() const { return investigation_; }
    // The menu bar made on this view, once it is (it tells the view so).
    MainMenuBar* mainMenuBar() const { return menuBar_; }
    void setMainMenuBar(MainMenuBar* bar) { menuBar_ = bar; }
    // Shows the summary window (made on first use); a line clicked in it
    // sets its filter here.
    void showSummary();
    // Shows and chooses the first row at or after where `gap` is.
    void jumpToGap(const korvantis::SequenceGap& gap);
    // Shows and chooses the row of the line at `place` in its list; false
    // when it has none there (a filter hides it).
    bool showRowAt(korvantis::LinePlace place);
    // The window's detection rules, and the "Detections" list (in the tabs
    // only while rows have hits).
    DetectionRules* detectionRules() const { return rules_; }
    DetectionsPanel* detectionsPanel() const { return detections_; }
    // View > Detection Rules…
    void showRulesDialog();

    // Brings this window to the front and asks for the events of the process
    // tree under `pid`: emits filterQueryRequested with "tree:PID".
    void showEventsOfProcessTree(qint64 pid);
    // Sets the Follow toggle: the window's logs are followed, and its lists
    // scrolled to their end stay there as rows come.
    void setFollowing(bool on);

  signals:
    // A filter query that something outside the filter field asks for.
    void filterQueryRequested(const QString& query);
    // Ctrl+N or File > New Window: the user asks for another main window, with a store of its own.
    void newWindowRequested();

  private:
    // What the window knows of the run of the process whose line has `place`
    // among its lines: its facts card's words; empty when no process row.
    std::string lifetimeAt(std::size_t place) const;
    void arrange();
    void connectFilter();
    void addShortcuts();
    void followStore();
    // Shows the next (1) or previous (-1) tab, going round.
    void stepTab(int step);
    // Adds the other rows' tab once there is one.
    void showOtherTab();
    // Marks on the timeline the time of the row chosen in the tab in front.
    void markChosenTime();
    // The detection rules and their tab.
    void addDetections();

    // Loads run as queued tasks on this object: an import returns at once,
    // loads run in the order asked, and none runs once the window is gone.
    std::unique_ptr<Workspace> workspace_;
    StoreNotifier* notifier_ = nullptr;
    TopBarView* topBar_ = nullptr;
    FilterBar* filterBar_ = nullptr;
    TimelineStrip* timeline_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    PerKind<EventPanel*> panels_{};
    LostMessagesStrip* lostMessages_ = nullptr;
    SummaryWindow* summary_ = nullptr;
    InvestigationActions* investigation_ = nullptr;
    TreeMarksFeed* treeMarks_ = nullptr;
    MainMenuBar* menuBar_ = nullptr;
    DetectionRules* rules_ = nullptr;
    DetectionsPanel* detections_ = nullptr;
    QPointer<QWidget> rulesDialog_;
    // The terms the last click on a summary line wrote, which the next one
    // replaces.
    std::string summaryTerms_;
};

}  // namespace korvantis::ui
