#pragma once

#include <QWidget>

#include <optional>

#include "store/store_index.h"

class QLabel;
class QPlainTextEdit;

namespace korvantis::ui {

class StoreNotifier;
class WindowMarks;

// Under the facts card: the tags of the last chosen row and its note, which
// is edited in place. The note is kept when the field loses the focus or on
// Ctrl+Return; Esc puts the kept note back. Hidden while no row is chosen.
class CardMarksView : public QWidget {
    Q_OBJECT
  public:
    CardMarksView(StoreNotifier& notifier, WindowMarks& marks, QWidget* parent = nullptr);

    QLabel* tags() const { return tags_; }
    QPlainTextEdit* note() const { return note_; }
    // Keeps the note as typed; false when it is too long or the row cannot
    // be marked (both told under the field).
    bool keepNote();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void chosen(LinePlace place);
    void sync();

    StoreNotifier& notifier_;
    WindowMarks& marks_;
    std::optional<LinePlace> place_;
    QLabel* tags_;
    QPlainTextEdit* note_;
    QLabel* problem_;
};

}  // namespace korvantis::ui
