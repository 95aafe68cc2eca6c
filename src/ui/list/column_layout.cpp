#include "ui/list/column_layout.h"

#include <algorithm>

#include "ui/look/wrap_choice.h"

namespace korvantis::ui {

ColumnLayout::ColumnLayout(const PanelColumns& columns, QObject* parent)
    : QObject(parent), columns_(columns) {
    for (const EventColumn& c : columns_.columns) {
        widths_.push_back(c.width);
    }
    connect(&WrapChoice::instance(), &WrapChoice::wrapsChanged, this, &ColumnLayout::widthsChanged);
}

int ColumnLayout::spacing() const {
    return WrapChoice::instance().wraps() ? kSpacing : kOneLineSpacing;
}

int ColumnLayout::left(int i) const {
    int x = kMargin;
    const int gap = spacing();
    for (int c = 0; c < i; ++c) {
        x += widths_[static_cast<std::size_t>(c)] + gap;
    }
    return x;
}

int ColumnLayout::width(int i, int rowWidth) const {
    if (isLast(i)) {
        return std::max(kMinLastWidth, rowWidth - left(i) - kMargin);
    }
    return widths_[static_cast<std::size_t>(i)];
}

int ColumnLayout::minimumRowWidth() const {
    return left(count() - 1) + kMinLastWidth + kMargin;
}

void ColumnLayout::setWidth(int i, int width) {
    if (i < 0 || i >= count() - 1) {
        return;
    }
    width = std::max(kMinWidth, width);
    if (widths_[static_cast<std::size_t>(i)] != width) {
        widths_[static_cast<std::size_t>(i)] = width;
        emit widthsChanged();
    }
}

void ColumnLayout::setColumns(const PanelColumns& columns) {
    std::vector<int> widths;
    for (const EventColumn& column : columns.columns) {
        int width = column.width;
        for (int i = 0; i + 1 < count(); ++i) {
            if (this->column(i).key == column.key) {
                width = widths_[static_cast<std::size_t>(i)];
            }
        }
        widths.push_back(width);
    }
    columns_ = columns;
    widths_ = std::move(widths);
    emit widthsChanged();
}

}  // namespace korvantis::ui
