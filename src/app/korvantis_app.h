#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "ui/window/tree_request.h"

namespace korvantis {

class TreeWindow;
class IndexCache;

// The application: opens the main window at start and a new "Viewer" window
// for every tree URL text handed to its tree opener. Windows delete themselves
// when closed; whatever is still open goes with the application object.
class KorvantisApp : public QObject {
    Q_OBJECT

  public:
    explicit KorvantisApp(QObject* parent = nullptr);
    ~KorvantisApp() override;

    // A new main window, shown, with its own event store; titled "Korvantis"
    // until it has loaded logs.
    // Ctrl+N in it, or in a tree window, opens another.
    QWidget* openMainWindow();
    // The start: opens the first main window and loads each of `logs` into
    // it in order, as imports would. A log that cannot be opened is named on
    // standard error and left out; the window opens all the same. A
    // "clickhouse+http://…" log is what a query on that server finds, loaded
    // as its rows come (see ClickHouseOpening).
    QWidget* start(const QStringList& logs);
    // The same with each log named by the bytes of its path; with `follow`,
    // the window follows them (its Follow toggle on).
    QWidget* start(const std::vector<std::string>& logs, bool follow = false);
    // A new tree window, shown; it receives the request's tree from the event
    // loop. The facts (per-node facts of the same tree) and the origin (the
    // main window that asked, if any) let its page show more of each node
    // and lead back to that window's events.
    TreeWindow* openTreeWindow(const ui::TreeRequest& request);
    // The same for a tree URL text, the form trees come in from outside
    // (without facts): its open-URL handler receives `urlText` from the
    // event loop.
    TreeWindow* openTreeWindow(const QString& urlText);

    // The windows still open, oldest first.
    QList<QWidget*> mainWindows() const;
    // Where the main windows opened from now on read and write the indexes
    // of the logs they load; none by default (nullptr): logs are loaded,
    // never indexed.
    void setIndexCache(std::shared_ptr<IndexCache> cache) { indexCache_ = std::move(cache); }
    QList<TreeWindow*> treeWindows() const;

  signals:
    void treeWindowOpened(korvantis::TreeWindow* window);

  private:
    // A tree window shown, its tree still to come.
    TreeWindow* openEmptyTreeWindow(SharedText facts, ui::TreeOrigin origin);

    std::shared_ptr<IndexCache> indexCache_;
    QList<QPointer<QWidget>> mainWindows_;
    QList<QPointer<TreeWindow>> treeWindows_;
};

}  // namespace korvantis
