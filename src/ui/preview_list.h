#pragma once

#include <QFontMetrics>
#include <QWidget>

#include "ui/preview_model.h"
#include "ui/virtual_list.h"

namespace korvantis::ui {

// Horizontal geometry shared by the header line and the rows.
struct RowGeometry {
    static constexpr int kMargin = 8;     // px before the first and after the last cell
    static constexpr int kSpacing = 100;  // px between neighbouring cells
    static constexpr int kPadding = 4;    // px above and below a row's cells
    static constexpr int kMinPathWidth = 120;
};

// The event list: one row per model row, cells of fixed widths with the path
// taking the rest of the row, each cell in the colour its mark gives. Rows are
// never widgets; only the rows on screen are measured and painted.
class PreviewList : public VirtualList {
    Q_OBJECT
  public:
    explicit PreviewList(PreviewModel& model, QWidget* parent = nullptr);

    PreviewModel& model() const { return model_; }
    // The row last chosen in this list (-1 before the first choice).
    int chosenRow() const { return chosenRow_; }
    void setChosenRow(int row) { chosenRow_ = row; }

    // Cell rectangles of a row on screen, in viewport coordinates (for tests
    // and for the header's alignment).
    QList<QRect> cellRects(int row) const;

  signals:
    // A click on a row, or Up/Down asking for the neighbouring row.
    void rowClicked(int row);

  protected:
    int count() const override;
    int measureRow(int row, int width) const override;
    void paintRow(QPainter& painter, int row, const QRect& rect) const override;
    int contentWidth() const override;

    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QString cellShown(int row, int column) const;
    struct Cell {
        QString text;
        int x;  // left edge in the row
        int width;
        int height;    // of the text laid out in the width
        bool oneLine;  // fits without wrapping
    };
    // The cells of a row laid out in `rowWidth`.
    QList<Cell> layoutCells(int row, int rowWidth) const;

    PreviewModel& model_;
    QFont font_;
    QFontMetrics metrics_;
    int chosenRow_ = -1;
};

// The header line: the column titles in green over a divider, spaced like the
// rows and scrolled sideways with them.
class ColumnHeaders : public QWidget {
    Q_OBJECT
  public:
    explicit ColumnHeaders(const PanelColumns& columns, QWidget* parent = nullptr);

    QStringList texts() const;
    // Where each title is placed, in this widget's coordinates.
    QList<QRect> textRects() const;
    void setHorizontalOffset(int offset);

  protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  private:
    static constexpr int kTopPadding = 8;
    static constexpr int kBottomPadding = 4;
    PanelColumns columns_;
    QFont font_;
    int offset_ = 0;
};

class ProcPreviewColumnHeaders : public ColumnHeaders {
    Q_OBJECT
  public:
    explicit ProcPreviewColumnHeaders(QWidget* parent = nullptr)
        : ColumnHeaders(ProcPreviewRow::columns(), parent) {}
};

class FilePreviewColumnHeaders : public ColumnHeaders {
    Q_OBJECT
  public:
    explicit FilePreviewColumnHeaders(QWidget* parent = nullptr)
        : ColumnHeaders(FilePreviewRow::columns(), parent) {}
};

}  // namespace korvantis::ui
