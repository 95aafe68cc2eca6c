#pragma once

#include <QObject>

#include <vector>

#include "ui/list/panel_columns.h"

namespace korvantis::ui {

// Where the columns of one panel stand in a row. The header line and the list
// both place their columns from here, so a column's title and its cells always
// line up, also after the user has dragged a column wider or narrower. Every
// column but the last has a width of its own; the last takes the rest of the
// row. Wrapping long texts, the columns stand as far apart as the lists were
// designed with; one line a row, they stand close, so that the texts that
// are cut have the room.
class ColumnLayout : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMargin = 8;           // px before the first column
    static constexpr int kSpacing = 100;        // px between neighbouring columns
    static constexpr int kOneLineSpacing = 24;  // the same, rows one line tall
    static constexpr int kMinWidth = 24;        // px, narrowest a column can be dragged
    static constexpr int kMinLastWidth = 120;

    explicit ColumnLayout(const PanelColumns& columns, QObject* parent = nullptr);

    const PanelColumns& columns() const { return columns_; }
    int count() const { return static_cast<int>(widths_.size()); }
    const EventColumn& column(int i) const { return columns_.columns[static_cast<std::size_t>(i)]; }
    bool isLast(int i) const { return i == count() - 1; }
    // Px between neighbouring columns now.
    int spacing() const;

    // Left edge of a column in a row.
    int left(int i) const;
    // Width of a column in a row `rowWidth` wide.
    int width(int i, int rowWidth) const;
    // The width rows need at least.
    int minimumRowWidth() const;

    // Sets a column's width (not the last's), no narrower than kMinWidth.
    void setWidth(int i, int width);
    // Shows other columns; those shown before keep the width they had.
    void setColumns(const PanelColumns& columns);

  signals:
    void widthsChanged();

  private:
    PanelColumns columns_;
    std::vector<int> widths_;
};

}  // namespace korvantis::ui
