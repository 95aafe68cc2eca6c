#pragma once

#include <QWidget>

#include <cstddef>

#include "store/sequence_gap.h"

class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace korvantis::ui {

class StoreNotifier;

// The notice under the top bar after a load whose eslogger message numbers
// jump: how many messages are missing from which log, "Show" for a list of
// the gaps (choosing one asks to jump to its rows) and a close button. Hidden
// while there are no gaps, and after a close until more are found.
class LostMessagesStrip : public QWidget {
    Q_OBJECT
  public:
    explicit LostMessagesStrip(StoreNotifier& notifier, QWidget* parent = nullptr);

    QLabel* noteLabel() const { return note_; }
    QToolButton* closeButton() const { return close_; }
    // The list "Show" opens (deleted when closed).
    QMenu* gapsMenu();

  signals:
    // A gap was chosen in the list.
    void gapChosen(korvantis::SequenceGap gap);

  private:
    void update();

    StoreNotifier& notifier_;
    QLabel* note_;
    QPushButton* show_;
    QToolButton* close_;
    std::size_t seen_ = 0;  // gaps the user has been told of
};

}  // namespace korvantis::ui
