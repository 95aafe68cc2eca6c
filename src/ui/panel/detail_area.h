#pragma once

#include <QScrollArea>
#include <QStackedWidget>
#include <QThreadPool>

#include "ui/rows/store_notifier.h"

class QLabel;
class QPushButton;

namespace korvantis::ui {

class ErrorView;
class FactsCardView;
class LegendView;
class SelectableText;

// The chosen event's readable JSON, shown as plain text (never as markup),
// wrapped to the width of the area, which scrolls only vertically, with "Copy
// to clipboard" and "Save event as…" below while there is text. Part of the
// text can be selected and copied with Ctrl+C; the buttons take all of it,
// also of a text too long to be shown whole. A note above names the keys the
// line repeats.
class EventTextView : public QScrollArea {
    Q_OBJECT
  public:
    explicit EventTextView(StoreNotifier& notifier, QWidget* parent = nullptr);
    ~EventTextView() override;

    SelectableText* text() const { return text_; }
    QLabel* notice() const { return notice_; }
    QLabel* leftOutNote() const { return leftOut_; }
    QPushButton* copyButton() const { return copy_; }
    // Above the text, for eslogger events only.
    FactsCardView* card() const { return card_; }

    // Clears the clipboard, then puts the store's detail text on it.
    void copyToClipboard();
    // Opens a fresh, non-blocking save dialog; the chosen file gets the text.
    void chooseSaveFile();
    // Writes the whole detail text to `path` on a worker thread.
    void saveTo(const QString& path);

  signals:
    // After every save; `error` is empty on success.
    void saved(const QString& path, const QString& error);

  private:
    void sync();

    Workspace& workspace_;
    QLabel* reading_;
    QLabel* notice_;
    SelectableText* text_;
    QLabel* leftOut_;
    QPushButton* copy_;
    QPushButton* save_;
    QThreadPool savePool_;
    FactsCardView* card_;
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
