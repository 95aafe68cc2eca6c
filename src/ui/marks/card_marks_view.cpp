// The chosen row's tags and note, under its facts card.

#include "ui/marks/card_marks_view.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "investigation/mark_book.h"
#include "ui/look/view_texts.h"
#include "ui/marks/window_marks.h"
#include "ui/rows/store_notifier.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

namespace {

QString utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

CardMarksView::CardMarksView(StoreNotifier& notifier, WindowMarks& marks, QWidget* parent)
    : QWidget(parent),
      notifier_(notifier),
      marks_(marks),
      tags_(new QLabel(this)),
      note_(new QPlainTextEdit(this)),
      problem_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    tags_->setTextFormat(Qt::PlainText);
    tags_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    note_->setPlaceholderText(notePlaceholderText());
    note_->setTabChangesFocus(true);
    note_->setFixedHeight(note_->fontMetrics().lineSpacing() * 3 + 12);
    note_->installEventFilter(this);
    problem_->setTextFormat(Qt::PlainText);
    problem_->setForegroundRole(QPalette::PlaceholderText);
    problem_->hide();
    layout->addWidget(tags_);
    layout->addWidget(note_);
    layout->addWidget(problem_);
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        const EventSelection& selection = notifier_.workspace().selection;
        for (RowKind kind : kRowKinds) {
            if (StoreNotifier::has(fields, activeRowField(kind)) && selection.activeRow(kind)) {
                chosen(selection.activeRow(kind)->place);
            }
        }
    });
    connect(&marks_, &WindowMarks::changed, this, &CardMarksView::sync);
    sync();
}

void CardMarksView::chosen(LinePlace place) {
    if (place_ == place) {
        return;
    }
    if (place_ && note_->document()->isModified()) {
        keepNote();  // what was typed for the row before stays with it
    }
    place_ = place;
    sync();
}

void CardMarksView::sync() {
    setVisible(place_.has_value());
    if (!place_) {
        return;
    }
    const MarkText* mark = marks_.markAt(*place_);
    const QString tags = mark != nullptr ? utf8(mark->tags) : QString();
    tags_->setText(cardTagsText(tags));
    tags_->setVisible(!tags.isEmpty());
    // A note being typed is not replaced under the typist's hands.
    if (!note_->hasFocus() || !note_->document()->isModified()) {
        const QString note = mark != nullptr ? utf8(mark->note) : QString();
        if (note_->toPlainText() != note) {
            note_->setPlainText(note);
            note_->moveCursor(QTextCursor::End);  // typing goes on after it
        }
        note_->document()->setModified(false);
        problem_->hide();
    }
}

bool CardMarksView::keepNote() {
    if (!place_) {
        return false;
    }
    const std::string note = note_->toPlainText().toStdString();
    const MarkText* mark = marks_.markAt(*place_);
    if ((mark != nullptr ? mark->note : std::string()) == note) {
        note_->document()->setModified(false);
        return true;
    }
    QString problem;
    if (note.size() > kMaxNoteBytes) {
        problem = noteTooLongText();
    } else if (!marks_.edit(*place_, {MarkEdit::Kind::setNote, note})) {
        problem = cannotMarkText();
    }
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
    if (problem.isEmpty()) {
        note_->document()->setModified(false);
    }
    return problem.isEmpty();
}

bool CardMarksView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == note_) {
        if (event->type() == QEvent::FocusOut) {
            keepNote();
        } else if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                key->modifiers().testFlag(Qt::ControlModifier)) {
                keepNote();
                return true;
            }
            if (key->key() == Qt::Key_Escape && note_->document()->isModified()) {
                note_->document()->setModified(false);
                sync();  // the kept note back, before the focus leaves
                note_->clearFocus();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace korvantis::ui
