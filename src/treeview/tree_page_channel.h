#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <string>

#include "ui/window/tree_request.h"

namespace korvantis {

// What the tree page of one tree window may ask of the program, over the web
// channel: the per-node facts of its tree, and to show the events of a
// process (or say how its run ended) from the main window that opened the
// tree, while that window lives.
class TreePageChannel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canShowEvents READ canShowEvents NOTIFY canShowEventsChanged)

  public:
    explicit TreePageChannel(QObject* parent = nullptr);
    ~TreePageChannel() override;

    // The name under which the page finds this object.
    static const QString kName;

    void setFacts(SharedText facts);
    void setOrigin(ui::TreeOrigin origin);

    // Where the page reads the facts text (a JSON array, one entry per
    // node) from; empty when the opener sent none. The text itself does not
    // go through the channel, which would copy it twice on this thread.
    Q_INVOKABLE QString factsAddress();
    bool canShowEvents() const { return !origin_.window.isNull(); }
    // Sets "tree:PID" as the origin window's filter and raises that window;
    // nothing once it is gone.
    Q_INVOKABLE void showEvents(double pid);
    // Where the page reads the nodes' marks from (see TreeMarksFeed::marks,
    // keyed by the facts' places); empty while there are none.
    Q_INVOKABLE QString marksAddress();
    // The colours of the marks (see TreeMarksFeed::colours); empty while
    // there are none.
    Q_INVOKABLE QString markColours() const;
    // What the origin window knows of the run of the process whose line has
    // `place` among its lines (the facts' last member), as its facts card
    // says it; empty once that window is gone.
    Q_INVOKABLE QString lifetime(double place) const;

  signals:
    void canShowEventsChanged();
    // The marks or their colours are other than the page last read.
    void marksChanged();

  private:
    SharedText facts_;
    QUrl factsAddress_;
    QUrl marksAddress_;
    QMetaObject::Connection marksFollowed_;
    ui::TreeOrigin origin_;
    QMetaObject::Connection originGone_;
};

}  // namespace korvantis
