// Highlight rules painted in a main window's lists.

#include "ui/window/window_highlights.h"

#include <QMenu>

#include "ui/look/style.h"
#include "ui/look/view_texts.h"
#include "ui/marks/highlighted_rows.h"
#include "ui/marks/highlights_dialog.h"
#include "ui/panel/event_panel.h"
#include "ui/window/main_view.h"

namespace korvantis::ui {

WindowHighlights::WindowHighlights(MainView& view) : QObject(&view), view_(view) {
    for (RowKind kind : kRowKinds) {
        auto* rows = new HighlightedRows(kind, view.notifier(), rules_, this);
        rows_[kind] = rows;
        EventPreview* preview = view.panel(kind)->preview();
        PreviewList* list = preview->list();
        list->setRowBackground([this, preview, list, rows](int row) {
            const int rule = rows->ruleAt(preview->sortedRows().rowPlace(row));
            return rule < 0 ? QColor()
                            : highlightColor(rules_.rules()[rule].colour, list->palette());
        });
        connect(rows, &HighlightedRows::changed, list->viewport(), qOverload<>(&QWidget::update));
    }
}

void WindowHighlights::addMenuEntry(QMenu& viewMenu) {
    QAction* action = viewMenu.addAction(highlightsActionText());
    connect(action, &QAction::triggered, this, &WindowHighlights::showDialog);
}

void WindowHighlights::showDialog() {
    if (dialog_ != nullptr) {
        dialog_->raise();
        return;
    }
    dialog_ = new HighlightsDialog(rules_.rules(), &view_);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog_, &QDialog::accepted, this, [this] { rules_.setRules(dialog_->rules()); });
    connect(dialog_, &HighlightsDialog::defaultAsked, this,
            [](const QVector<HighlightRule>& rules) {
                HighlightRules kept;
                kept.setRules(rules);
                kept.saveAsDefault();
            });
    dialog_->open();
}

}  // namespace korvantis::ui
