#pragma once

#include <QFontMetrics>
#include <QWidget>

#include <functional>

#include "ui/list/column_layout.h"
#include "ui/list/text_cell.h"
#include "ui/list/virtual_list.h"
#include "ui/rows/row_source.h"

namespace korvantis::ui {

// The event list: one row per row of its source, each cell in its column of
// the panel's layout (the last one taking the rest of the row), in the colour
// its mark gives. Rows are never widgets; only the rows on screen are measured
// and painted. The keys choose rows as clicks do: Up/Down a row, PgUp/PgDn a
// page, Home/End (also with Ctrl) the first and the last.
class PreviewList : public VirtualList {
    Q_OBJECT
  public:
    PreviewList(RowSource& rows, ColumnLayout& columns, QWidget* parent = nullptr);

    RowSource& rows() const { return rows_; }
    // The row last chosen in this list (-1 before the first choice).
    int chosenRow() const { return chosenRow_; }
    // Records the chosen row and scrolls it into view.
    void setChosenRow(int row);

    // What a cell shows and in which colour.
    QString cellShown(int row, int column) const;
    QColor cellColor(int row, int column) const;
    // Which rows carry a bookmark, shown by a bar at their left edge.
    void setBookmarked(std::function<bool(int row)> bookmarked);
    // The background of each row (highlight rules); an invalid colour for
    // none. The text's own colours are drawn over it.
    void setRowBackground(std::function<QColor(int row)> background);

    // The bar in the margin before a row that detection rules match, in the
    // colour of the highest level among them; invalid for a row without.
    QColor ruleMarkColor(int row) const;
    // Where that bar is drawn in a row's rectangle.
    static QRect ruleMarkRect(const QRect& row);
    // Cell rectangles of a row on screen, in viewport coordinates.
    QList<QRect> cellRects(int row) const;
    // The width the widest text of `column` among the rows on screen needs
    // on one line.
    int widestShown(int column) const;

  signals:
    // A click on a row, or a key asking for another row.
    void rowClicked(int row);

  protected:
    int count() const override;
    int measureRow(int row, int width) const override;
    void paintRow(QPainter& painter, int row, const QRect& rect) const override;
    int contentWidth() const override;

    void mousePressEvent(QMouseEvent* event) override;
    // A cell cut short tells its whole text when hovered.
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    static constexpr int kPadding = 4;  // px above and below a row's cells
    struct Cell {
        QString text;
        int x;  // left edge in the row
        int width;
        int height;                             // of the text laid out in the width
        bool oneLine;                           // fits without wrapping
        QList<QTextLayout::FormatRange> marks;  // visible marks, drawn muted
        bool elided = false;                    // cut to one line with "…"
    };
    IsolatedText cellIsolated(int row, int column) const;
    // Cuts `cell`, which shows `shown`, to one line of its width, with "…".
    void elide(Cell& cell, FieldId key, const IsolatedText& shown) const;
    // How the visible marks of `shown` are drawn.
    QList<QTextLayout::FormatRange> markFormats(const IsolatedText& shown) const;
    // The cells of a row laid out in `rowWidth`.
    QList<Cell> layoutCells(int row, int rowWidth) const;
    // The row a key asks for, or -1 for a key that chooses no row.
    int rowForKey(const QKeyEvent& event) const;

    RowSource& rows_;
    ColumnLayout& columns_;
    QFont font_;
    QFontMetrics metrics_;
    int chosenRow_ = -1;
    std::function<bool(int row)> bookmarked_;
    std::function<QColor(int row)> background_;
};

// The header line: the column titles in green, placed by the panel's column
// layout and scrolled sideways with the rows. Dragging the border between two
// columns (a thin line halfway across the gap) widens or narrows the column
// on its left.
class ColumnHeaders : public QWidget {
    Q_OBJECT
  public:
    explicit ColumnHeaders(ColumnLayout& columns, QWidget* parent = nullptr);

    QStringList texts() const;
    // Where each title's column is, in this widget's coordinates.
    QList<QRect> textRects() const;
    // The x of the border to the right of a column (not the last).
    int borderX(int column) const;
    void setHorizontalOffset(int offset);
    // An arrow after the title of the column the rows are sorted by (-1:
    // none), pointing up for ascending order.
    void setSortArrow(int column, bool descending);

  signals:
    // A double click on the border after `column`.
    void borderDoubleClicked(int column);
    // A click on a column's title (not on a border).
    void titleClicked(int column);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // On the border after a column: fits the column (borderDoubleClicked).
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  private:
    static constexpr int kTopPadding = 8;
    static constexpr int kBottomPadding = 4;
    static constexpr int kGrip = 5;  // px either side of a border that grab it
    // The column whose right border is under x, or -1.
    int borderAt(int x) const;
    // The column whose title area holds `pos`, or -1.
    int titleAt(QPoint pos) const;
    // The title with the sort arrow when the rows are sorted by it.
    QString shownTitle(int column) const;

    ColumnLayout& columns_;
    QFont font_;
    int offset_ = 0;
    int dragged_ = -1;    // column being resized
    int dragStartX_ = 0;  // where the drag began
    int dragStartWidth_ = 0;
    int pressedTitle_ = -1;  // column whose title a press began on
    int sortedColumn_ = -1;
    bool sortDescending_ = false;
};

}  // namespace korvantis::ui
