#pragma once

#include "ui/list/bidi_isolation.h"
#include "ui/list/virtual_list.h"
#include "ui/rows/store_notifier.h"

namespace korvantis::ui {

// The load errors: two fixed green texts, then one row per entry of the
// store's list, in order, each entry its own row even when equal to another,
// an empty entry as an empty padded row, paths in it isolated for display
// (bidi_isolation.h), beside each entry the log and line it came from
// ("trace.json:12", not part of the entry's text). A file of broken lines can make a million
// entries, so this is a virtual list too. Text is selected by dragging the mouse, over any number
// of rows, and copied with Ctrl+C, rows joined by line breaks.
class ErrorView : public VirtualList {
    Q_OBJECT
  public:
    static const QString& firstText();
    static const QString& secondText();

    explicit ErrorView(StoreNotifier& notifier, QWidget* parent = nullptr);

    // Rows shown: the two fixed texts and then the entries.
    int rowCount() const { return 2 + entries_; }
    QString rowText(int row) const;
    // Fixed texts in green, entries in the palette's text colour.
    QColor rowColor(int row) const;
    // Where an entry came from, "trace.json:12"; empty for the fixed texts.
    QString originText(int row) const;
    // What is drawn of it in a row that wide: all of it when it fits.
    QString shownOriginText(int row, int rowWidth) const;
    // What a row lays out on screen.
    QString shownRowText(int row) const { return shownRow(row).shown; }
    // The selected part of the original texts.
    QString selectedText() const;

  protected:
    int count() const override { return rowCount(); }
    int measureRow(int row, int width) const override;
    void paintRow(QPainter& painter, int row, const QRect& rect) const override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // A place in the text of a row.
    struct TextPos {
        int row = -1;
        int pos = 0;
        auto operator<=>(const TextPos&) const = default;
    };
    void sync();
    IsolatedText shownRow(int row) const;
    // The text's box inside a row's rectangle.
    QRect textRect(int row, const QRect& rowRect) const;
    // The width the origin takes left of an entry's text, gap included.
    int originWidth(int row, int rowWidth) const;
    // The place in the text nearest to a viewport point.
    TextPos textPosAt(QPoint point) const;

    Workspace& workspace_;
    int entries_ = 0;
    // The entry last read back from its log: a row is measured and painted
    // with several calls in a row.
    mutable int readRow_ = -1;
    mutable QString readText_;
    TextPos anchor_;  // where the selection began
    TextPos cursor_;  // where it ends now
    bool dragging_ = false;
};

}  // namespace korvantis::ui
