#pragma once

#include <QScrollArea>
#include <QStackedWidget>

#include "ui/store_notifier.h"

class QLabel;
class QPushButton;

namespace korvantis::ui {

class ErrorView;
class LegendView;

// The chosen event's readable JSON, shown verbatim as plain text (never as
// markup), not selectable, with "Copy to clipboard" below while there is text.
class EventTextView : public QScrollArea {
    Q_OBJECT
  public:
    explicit EventTextView(StoreNotifier& notifier, QWidget* parent = nullptr);

    QLabel* textLabel() const { return text_; }
    QPushButton* copyButton() const { return copy_; }

    // Clears the clipboard, then puts the store's detail text on it.
    void copyToClipboard();

  private:
    void sync();

    EventKeeper& store_;
    QLabel* text_;
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
    LegendView* legendView() const { return legend_; }
    EventTextView* eventTextView() const { return text_; }

  private:
    void sync();

    EventKeeper& store_;
    ErrorView* errors_;
    LegendView* legend_;
    EventTextView* text_;
};

}  // namespace korvantis::ui
