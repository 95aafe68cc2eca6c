// A notice about marks and sessions.

#include "ui/marks/marks_notice.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace korvantis::ui {

MarksNotice::MarksNotice(QWidget* parent)
    : QFrame(parent), label_(new QLabel(this)), button_(new QPushButton(this)) {
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->addWidget(label_);
    layout->addWidget(button_);
    layout->addStretch(1);
    label_->setTextFormat(Qt::PlainText);
    button_->setFlat(true);
    connect(button_, &QPushButton::clicked, this, [this] {
        hide();
        if (std::function<void()> action = std::move(action_)) {
            action();
        }
    });
    hide();
}

void MarksNotice::tell(const QString& text, const QString& buttonText,
                       std::function<void()> action) {
    label_->setText(text);
    button_->setText(buttonText);
    button_->setVisible(!buttonText.isEmpty());
    action_ = std::move(action);
    show();
    const int told = ++told_;
    if (buttonText.isEmpty()) {
        QTimer::singleShot(4000, this, [this, told] {
            if (told == told_) {
                hide();
            }
        });
    }
}

}  // namespace korvantis::ui
