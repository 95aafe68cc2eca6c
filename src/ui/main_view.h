#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QTabWidget;

namespace korvantis {
class EventKeeper;
}

namespace korvantis::ui {

// Opens a tree window for a tree URL text. The text is handed on exactly as
// made ("KorvantisTree://" + base64); it is never parsed as a QUrl, which
// would lower-case and reject parts of the payload.
using TreeOpener = std::function<void(const QString& urlText)>;

class StoreNotifier;
class TopBarView;
class EventPanel;

// The content of a main window: owns the window's event store and arranges
// the top bar and the two event panels. Window-wide keys: Ctrl+O imports,
// Ctrl+L and Ctrl+R switch the legend and the error list, Ctrl+Tab and
// Ctrl+Shift+Tab move between the tabs.
class MainView : public QWidget {
    Q_OBJECT
  public:
    explicit MainView(TreeOpener openTree, QWidget* parent = nullptr);
    ~MainView() override;

    EventKeeper& store();

    StoreNotifier& notifier() const { return *notifier_; }
    TopBarView* topBar() const { return topBar_; }
    QTabWidget* tabs() const { return tabs_; }
    EventPanel* processPanel() const { return processPanel_; }
    EventPanel* filePanel() const { return filePanel_; }

  private:
    // Shows the next (1) or previous (-1) tab, going round.
    void stepTab(int step);

    // Loads run as queued tasks on this object: an import returns at once,
    // loads run in the order asked, and none runs once the window is gone.
    std::unique_ptr<EventKeeper> store_;
    StoreNotifier* notifier_ = nullptr;
    TopBarView* topBar_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    EventPanel* processPanel_ = nullptr;
    EventPanel* filePanel_ = nullptr;
};

}  // namespace korvantis::ui
