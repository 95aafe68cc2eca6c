#pragma once

#include <QScrollArea>
#include <QStackedWidget>

#include "ui/store_notifier.h"

class QPushButton;

namespace korvantis::ui {

class ErrorView;
class LegendView;
class SelectableText;

// The chosen event's readable JSON, shown as plain text (never as markup),
// wrapped to the width of the area, which scrolls only vertically, with "Copy
// to clipboard" below while there is text. Part of the text can be selected
// and copied with Ctrl+C; the button copies all of it.
class EventTextView : public QScrollArea {
    Q_OBJECT
  public:
    explicit EventTextView(StoreNotifier& notifier, QWidget* parent = nullptr);

    SelectableText* text() const { return text_; }
    QPushButton* copyButton() const { return copy_; }

    // Clears the clipboard, then puts the store's detail text on it.
    void copyToClipboard();

  private:
    void sync();

    Workspace& workspace_;
    SelectableText* text_;
    QPushButton* copy_;
};

// The area below a list: the error list, the legend or the event text,
// decided by the store's two flags in that order.
class DetailArea : public QStackedWidget {
    Q_OBJECT
  public:
    enum class Content { errors, legend, eventText };

    explicit DetailArea(StoreNotifier& notifier, QWidget* parent = nullptr);

    Content content() const;
    ErrorView* errorView() const { return errors_; }
    EventTextView* eventTextView() const { return text_; }

  private:
    void sync();

    Workspace& workspace_;
    ErrorView* errors_;
    LegendView* legend_;
    EventTextView* text_;
};

}  // namespace korvantis::ui
