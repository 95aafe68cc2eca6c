#pragma once

#include <QAbstractScrollArea>
#include <QHash>

class QPainter;

namespace korvantis::ui {

// A vertical list that scrolls by rows and only ever lays out the rows it
// shows: the scroll bar's value is the first row on screen, rows are painted
// from there down to the bottom edge, and a row's height is measured when it
// is laid out for painting (cached until the width or the content changes).
// Nothing walks over all rows, so a list of a million rows costs what the
// screenful costs. A row taller than the screen is scrolled through by pixels
// before the list moves on to the next row.
class VirtualList : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit VirtualList(QWidget* parent = nullptr);

    int firstRow() const;
    // Pixels of the first row scrolled off the top (only for a row taller
    // than the screen).
    int firstRowOffset() const { return offset_; }
    // The row at a viewport y coordinate, or -1.
    int rowAt(int y) const;
    // The row's rectangle in viewport coordinates; empty when not on screen.
    QRect rowRect(int row) const;
    // Scrolls as little as needed to bring the row on screen.
    void scrollToRow(int row);
    // Rows that fit on screen from the first row down (at least one).
    int rowsOnScreen() const;
    // One wheel notch's step: a row, or part of a tall row.
    void scrollStep(bool down);
    // While on, a list scrolled to its end when rows come stays at its end
    // (a followed log's new rows come into view); elsewhere it stays put.
    void setStickToEnd(bool on) { stickToEnd_ = on; }
    // Whether the last row is on screen, all of it.
    bool atEnd() const;

  protected:
    virtual int count() const = 0;
    // Height of a row laid out in a viewport of the given width.
    virtual int measureRow(int row, int width) const = 0;
    virtual void paintRow(QPainter& painter, int row, const QRect& rect) const = 0;
    // Width the rows need; wider than the viewport brings a horizontal scroll bar.
    virtual int contentWidth() const { return 0; }

    // Width rows are laid out in (at least the content width).
    int layoutWidth() const;
    // Call when rows were appended (heights of earlier rows stay valid).
    void rowsAppended();
    // Call when row heights may all have changed.
    void contentChanged();

    int rowHeight(int row) const;
    void updateScrollBars();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    // How far the first row may be scrolled into.
    int maxOffset(int row) const;
    void setFirstRow(int row, int offset);
    void pageStep(bool down);

    mutable QHash<int, int> heights_;
    mutable int heightsWidth_ = -1;
    int offset_ = 0;
    bool keepOffset_ = false;
    int wheelRemainder_ = 0;
    bool stickToEnd_ = false;
};

}  // namespace korvantis::ui
