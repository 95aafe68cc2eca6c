#include "ui/panel/facts_card_view.h"

namespace korvantis::ui {

FactsCardView::FactsCardView(StoreNotifier& notifier, QWidget* parent)
    : SelectableText(parent), workspace_(notifier.workspace()) {
    setFrameShape(QFrame::StyledPanel);
    document()->setDocumentMargin(4);
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        // Rows that arrive may end the chosen row's run: its lifetime line
        // then says how.
        if (StoreNotifier::has(fields, StoreField::activeEventJson) ||
            StoreNotifier::has(fields, StoreField::processRows) ||
            StoreNotifier::has(fields, StoreField::otherRows)) {
            sync();
        }
    });
    sync();
}

void FactsCardView::sync() {
    const QString card = QString::fromStdString(workspace_.selection.activeEventCard());
    if (synced_ && card == originalText()) {
        return;  // unchanged: the user's selection in it stays
    }
    synced_ = true;
    setOriginalText(card);
    setVisible(!card.isEmpty());
}

}  // namespace korvantis::ui
