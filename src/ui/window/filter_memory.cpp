// The recent and the named queries of the filter field.

#include "ui/window/filter_memory.h"

#include <QAction>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>

#include "ui/look/view_texts.h"
#include "ui/window/filter_bar.h"
#include "ui/window/query_history.h"

namespace korvantis::ui {

FilterMemory::FilterMemory(FilterBar& bar, QMenu& viewMenu)
    : QObject(&bar), bar_(bar), field_(bar.field()), history_(new QMenu(field_)) {
    QAction* drop = field_->addAction(field_->style()->standardIcon(QStyle::SP_ArrowDown),
                                      QLineEdit::TrailingPosition);
    drop->setToolTip(queryHistoryText());
    connect(drop, &QAction::triggered, this, [this] {
        fillHistory();
        history_->popup(field_->mapToGlobal(field_->rect().bottomLeft()));
    });
    field_->installEventFilter(this);
    connect(field_, &QLineEdit::editingFinished, this,
            [this] { QueryHistory::record(field_->text()); });
    connect(field_, &QLineEdit::textEdited, this, [this] { at_ = -1; });

    QMenu* view = &viewMenu;
    connect(view->addAction(saveFilterAsText()), &QAction::triggered, this,
            &FilterMemory::saveFilterAs);
    saved_ = view->addMenu(savedFiltersText());
    connect(saved_, &QMenu::aboutToShow, this, &FilterMemory::fillSaved);
    fillSaved();
}

void FilterMemory::fillHistory() {
    history_->clear();
    for (const QString& query : QueryHistory::queries()) {
        QAction* action = history_->addAction(query);
        connect(action, &QAction::triggered, this, [this, query] {
            bar_.setQuery(query);
            QueryHistory::record(query);
        });
    }
    if (history_->isEmpty()) {
        history_->addAction(noQueriesText())->setEnabled(false);
    }
}

void FilterMemory::fillSaved() {
    saved_->clear();
    for (const SavedFilters::Saved& saved : SavedFilters::all()) {
        QAction* action = saved_->addAction(saved.name);
        action->setToolTip(saved.query);
        const QString query = saved.query;
        connect(action, &QAction::triggered, this, [this, query] { bar_.setQuery(query); });
    }
    saved_->setEnabled(!saved_->isEmpty());
}

void FilterMemory::saveFilterAs() {
    const QString query = field_->text();
    if (query.trimmed().isEmpty()) {
        return;
    }
    bool ok = false;
    const QString name = QInputDialog::getText(field_->window(), saveFilterAsText(),
                                               filterNameLabel(), QLineEdit::Normal, {}, &ok);
    if (ok && !name.trimmed().isEmpty()) {
        SavedFilters::save(name.trimmed(), query);
        fillSaved();
    }
}

void FilterMemory::step(int toward) {
    const QStringList queries = QueryHistory::queries();
    const int next = at_ - toward;  // the newest is first
    if (next < 0) {
        at_ = -1;
        bar_.setQuery(QString());
        return;
    }
    if (next >= queries.size()) {
        return;
    }
    at_ = next;
    bar_.setQuery(queries[at_]);
}

bool FilterMemory::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            // Only from an empty field, or one holding what Up/Down put there.
            const QStringList queries = QueryHistory::queries();
            const bool fromHistory =
                at_ >= 0 && at_ < queries.size() && field_->text() == queries[at_];
            if (field_->text().isEmpty() || fromHistory) {
                if (!fromHistory) {
                    at_ = -1;
                }
                step(key == Qt::Key_Up ? -1 : 1);
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace korvantis::ui
