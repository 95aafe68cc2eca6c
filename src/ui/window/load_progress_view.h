#pragma once

#include <QWidget>

#include "ui/rows/store_notifier.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;

namespace korvantis::ui {

// The strip under the top bar's buttons that tells how the window's loads
// go: while one runs, its file name, the share of its bytes read, the lines
// so far, how many loads wait after it and a Cancel button; after a cancel,
// until the next load starts, a note of how far it got. Hidden when there
// is nothing to say.
class LoadProgressView : public QWidget {
    Q_OBJECT
  public:
    explicit LoadProgressView(StoreNotifier& notifier, QWidget* parent = nullptr);

    QLabel* fileLabel() const { return file_; }
    QLabel* percentLabel() const { return percent_; }
    QLabel* linesLabel() const { return lines_; }
    QLabel* queuedLabel() const { return queued_; }
    QLabel* noteLabel() const { return note_; }
    // "Could not open NAME: reason", while there is such a log.
    QLabel* failureLabel() const { return failure_; }
    QPushButton* cancelButton() const { return cancel_; }

    // Makes Esc anywhere in `window` cancel, but only while a load runs, so
    // that Esc still reaches the focused widget (a line edit clearing
    // itself) the rest of the time.
    void installCancelKey(QWidget* window);

    // Stops the running load and drops the queued ones.
    void cancel();

  private:
    void sync();

    Workspace& workspace_;
    QLabel* file_;
    QProgressBar* bar_;
    QLabel* percent_;
    QLabel* lines_;
    QLabel* queued_;
    QPushButton* cancel_;
    QLabel* note_;
    QLabel* failure_;
    QShortcut* cancelKey_ = nullptr;
};

}  // namespace korvantis::ui
