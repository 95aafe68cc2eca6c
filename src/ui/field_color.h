#pragma once

#include <optional>

#include "store/preview_entries.h"

namespace korvantis::ui {

// The cells of a preview row, by the field each one shows.
enum class FieldKey { timestamp, type, pid, ppid, path };

// How a cell is marked relative to the chosen event. Mapped to a colour in one
// place (style.h), so the rule itself stays a plain function of the values.
enum class Mark { standard, green, pink };

// Process rows: the chosen event, the other activity of its process (with the
// PID cell green) and the activity of its parent process.
inline Mark procFieldColor(const ProcPreviewEntry& row,
                           const std::optional<ProcPreviewEntry>& active, FieldKey key) {
    if (!active) {
        return Mark::standard;
    }
    if (active->id == row.id) {
        return Mark::green;
    }
    if (active->pid == row.pid) {
        return key == FieldKey::pid ? Mark::green : Mark::pink;
    }
    if (active->ppid == row.pid) {
        return Mark::pink;
    }
    return Mark::standard;
}

// File rows: as for processes, but file events carry no parent id, so there is
// no parent rule.
inline Mark fileFieldColor(const FilePreviewEntry& row,
                           const std::optional<FilePreviewEntry>& active, FieldKey key) {
    if (!active) {
        return Mark::standard;
    }
    if (active->id == row.id) {
        return Mark::green;
    }
    if (active->pid == row.pid) {
        return key == FieldKey::pid ? Mark::green : Mark::pink;
    }
    return Mark::standard;
}

}  // namespace korvantis::ui
