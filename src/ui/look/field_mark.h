#pragma once

#include "store/row_fields.h"
#include "store/row_view.h"

namespace korvantis::ui {

// How a cell is marked relative to the chosen event. Mapped to a colour in one
// place (style.h), so the rule itself stays a plain function of the values.
enum class Mark { standard, green, pink };

// The same rules for every list, against the list's own chosen row
// (`active`, null when none is): the chosen row itself (`chosen`: told by its place in the
// store) is green; the other activity of its process is pink with a green
// PID cell; the activity of its parent process, for a row that names one, is
// pink.
inline Mark fieldMark(const RowView& row, bool chosen, const RowView* active, FieldId field) {
    if (active == nullptr) {
        return Mark::standard;
    }
    if (chosen) {
        return Mark::green;
    }
    if (active->pid == row.pid) {
        return field == FieldId::pid ? Mark::green : Mark::pink;
    }
    return active->hasPpid() && active->ppid == row.pid ? Mark::pink : Mark::standard;
}

}  // namespace korvantis::ui
