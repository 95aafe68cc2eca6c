#pragma once

#include <QString>

#include <vector>

#include "ui/field_mark.h"
#include "ui/style.h"

namespace korvantis::ui {

// The kinds of event rows; one panel implementation serves them all.
enum class RowKind { process, file, other };

// One column of an event list: its title, its default width and how its
// cells place their text.
struct EventColumn {
    QString header;
    int width = 0;  // px; 0 = the rest of the row
    Qt::Alignment alignment = Qt::AlignHCenter;
    FieldKey key = FieldKey::timestamp;
};

// What tells the two event panels apart, besides their rows.
struct PanelColumns {
    std::vector<EventColumn> columns;
    StandardColor standard = StandardColor::paletteText;
};

const PanelColumns& panelColumns(RowKind kind);

}  // namespace korvantis::ui
