#include "ui/facts_card_view.h"

namespace korvantis::ui {

FactsCardView::FactsCardView(StoreNotifier& notifier, QWidget* parent)
    : SelectableText(parent), workspace_(notifier.workspace()) {
    setFrameShape(QFrame::StyledPanel);
    document()->setDocumentMargin(4);
    connect(&notifier, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (StoreNotifier::has(fields, StoreField::activeEventJson)) {
            sync();
        }
    });
    sync();
}

void FactsCardView::sync() {
    const QString card = QString::fromStdString(workspace_.selection.activeEventCard());
    setOriginalText(card);
    setVisible(!card.isEmpty());
}

}  // namespace korvantis::ui
