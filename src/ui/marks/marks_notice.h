#pragma once

#include <QFrame>

#include <functional>

class QLabel;
class QPushButton;

namespace korvantis::ui {

// A one-line notice under the top bar about the window's marks and session
// ("Restored marks and view from …  Start fresh"), with at most one button;
// the button's action runs once and hides the notice. A notice without a
// button goes by itself after a few seconds.
class MarksNotice : public QFrame {
    Q_OBJECT
  public:
    explicit MarksNotice(QWidget* parent = nullptr);

    // Shows `text`, with a button `buttonText` that runs `action` when
    // there is one; replaces the notice shown before.
    void tell(const QString& text, const QString& buttonText = {},
              std::function<void()> action = {});

    QLabel* label() const { return label_; }
    QPushButton* button() const { return button_; }

  private:
    QLabel* label_;
    QPushButton* button_;
    std::function<void()> action_;
    int told_ = 0;
};

}  // namespace korvantis::ui
