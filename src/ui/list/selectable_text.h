#pragma once

#include <QTextEdit>

#include "ui/list/bidi_isolation.h"

namespace korvantis::ui {

// A read-only text the user can select with the mouse and copy with Ctrl+C.
// It wraps at word boundaries and, where a word is wider than the line,
// anywhere, and is exactly as tall as its wrapped text: an enclosing scroll
// area scrolls it vertically and it never needs a horizontal scroll bar.
// Paths in it are isolated for display (bidi_isolation.h); a copy gives the
// selected part of the original text.
class SelectableText : public QTextEdit {
    Q_OBJECT
  public:
    explicit SelectableText(QWidget* parent = nullptr);

    void setOriginalText(const QString& text);
    QString originalText() const;
    // What is laid out on screen.
    QString shownText() const { return text_.shown; }

  protected:
    QMimeData* createMimeDataFromSelection() const override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void fitHeight();

    IsolatedText text_;
};

}  // namespace korvantis::ui
