#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

#include "store/row_kind.h"
#include "store/shared_text.h"

class QWidget;

namespace korvantis::ui {

class HighlightedRows;
class HighlightRules;
class StoreNotifier;

// What the tree windows opened from a main window mark on their nodes: the
// nodes whose rows match detection rules (the highest level, the rules'
// titles) and the highlight rule of each node's first highlighted row. Worked
// out on a worker from a snapshot of the store, again whenever rows, their
// hits or the highlights change, once a tree window has asked for it.
class TreeMarksFeed : public QObject {
    Q_OBJECT
  public:
    // `window` lends its palette to the colours; `rules` and `highlighted`
    // (which rows of each list they select) must outlive the feed.
    TreeMarksFeed(StoreNotifier& notifier, const HighlightRules& rules,
                  const PerKind<HighlightedRows*>& highlighted, QWidget& window);
    ~TreeMarksFeed() override;

    // The marks as encodeNodeMarks writes them; none until first worked out.
    // Asking starts keeping them up to date.
    SharedText marks();
    // The colours the page paints them with, as a JSON object:
    // {"levels": {"low": "#rrggbb", ...}, "highlights": ["#rrggbb" or "", ...]}
    // (highlights by rule index).
    QString colours() const;
    // Whether the marks are those of the rows as they are now.
    bool current() const { return !running_ && !again_ && !due_.isActive() && marks_; }

  signals:
    void changed();

  private:
    void workSoon();
    void work();

    StoreNotifier& notifier_;
    const HighlightRules& rules_;
    PerKind<HighlightedRows*> highlighted_;
    QWidget& window_;
    QThreadPool pool_;
    QTimer due_;
    QElapsedTimer clock_;
    qint64 pauseMs_ = 0;
    bool wanted_ = false;
    bool running_ = false;
    bool again_ = false;
    std::uint64_t generation_ = 0;
    SharedText marks_;
};

}  // namespace korvantis::ui
