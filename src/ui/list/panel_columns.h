#pragma once

#include <QString>

#include <vector>

#include "store/row_fields.h"
#include "store/row_kind.h"
#include "ui/look/style.h"

namespace korvantis::ui {

// One column of an event list: its title, its default width and how its
// cells place their text.
struct EventColumn {
    QString header;
    int width = 0;  // px; 0 = the rest of the row
    Qt::Alignment alignment = Qt::AlignHCenter;
    FieldId key = FieldId::timestamp;
};

// What tells the event lists apart, besides their rows: the columns shown
// until the user chooses others, and the rows' standard colour.
struct PanelColumns {
    std::vector<EventColumn> columns;
    StandardColor standard = StandardColor::paletteText;
};

const PanelColumns& panelColumns(RowKind kind);
// Every column a list of `kind` offers (the fields the table gives it), in
// the order shown: those shown by default, then the others, then the
// default one that fills the rest of the row.
std::vector<EventColumn> offeredColumns(RowKind kind);

}  // namespace korvantis::ui
