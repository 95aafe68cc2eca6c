#pragma once

#include "ui/list/selectable_text.h"
#include "ui/rows/store_notifier.h"

namespace korvantis::ui {

// The facts card of the chosen eslogger event, above its readable JSON: the
// core's card text (see factsCardText), one "Label: value" per line,
// selectable with the mouse, in a frame of its own. Hidden for the viewer's
// own records.
class FactsCardView : public SelectableText {
    Q_OBJECT
  public:
    explicit FactsCardView(StoreNotifier& notifier, QWidget* parent = nullptr);

    SelectableText* text() { return this; }

  private:
    void sync();

    Workspace& workspace_;
    bool synced_ = false;  // shows the card once synced
};

}  // namespace korvantis::ui
