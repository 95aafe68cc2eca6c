#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QTabWidget;

namespace korvantis {
class EventKeeper;
}

namespace korvantis::ui {

class MainView;

// What a main window hands to a new tree window. The URL text is handed on
// exactly as made ("KorvantisTree://" + base64); it is never parsed as a
// QUrl, which would lower-case and reject parts of the payload.
struct TreeRequest {
    QString urlText;
    // Per-node facts of the same tree, in its node order (see tree_facts.h).
    QString factsText;
    // The main window that asked; the tree window leads back to it while it lives.
    QPointer<MainView> origin;
};

// Opens a tree window for a request.
using TreeOpener = std::function<void(const TreeRequest& request)>;

class StoreNotifier;
class TopBarView;
class ProcessView;
class FileView;

// The content of a main window: owns the window's event store and arranges
// the top bar and the two event panels.
class MainView : public QWidget {
    Q_OBJECT
  public:
    explicit MainView(TreeOpener openTree, QWidget* parent = nullptr);
    ~MainView() override;

    EventKeeper& store();

    StoreNotifier& notifier() const { return *notifier_; }
    TopBarView* topBar() const { return topBar_; }
    QTabWidget* tabs() const { return tabs_; }
    ProcessView* processView() const { return processView_; }
    FileView* fileView() const { return fileView_; }

    // Brings this window to the front and asks for the events of the process
    // tree under `pid`: emits filterQueryRequested with "tree:PID".
    void showEventsOfProcessTree(qint64 pid);

  signals:
    // A filter query that something outside the filter field asks for.
    void filterQueryRequested(const QString& query);

  private:
    // Loads run as queued tasks on this object: an import returns at once,
    // loads run in the order asked, and none runs once the window is gone.
    std::unique_ptr<EventKeeper> store_;
    StoreNotifier* notifier_ = nullptr;
    TopBarView* topBar_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    ProcessView* processView_ = nullptr;
    FileView* fileView_ = nullptr;
};

}  // namespace korvantis::ui
