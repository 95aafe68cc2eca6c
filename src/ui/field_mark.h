#pragma once

#include <optional>

#include "ingest/row_facts.h"
#include "store/preview_entries.h"

namespace korvantis::ui {

// The cells of a preview row, by the field each one shows: the row's own
// fields, how a process row's run ended, then its facts, one key per Fact
// from `firstFact` on (factKey()).
enum class FieldKey { timestamp, type, pid, ppid, path, outcome, firstFact };

inline FieldKey factKey(Fact fact) {
    return static_cast<FieldKey>(static_cast<int>(FieldKey::firstFact) + static_cast<int>(fact));
}
// The fact a key shows, if it shows one.
inline std::optional<Fact> factOfKey(FieldKey key) {
    const int i = static_cast<int>(key) - static_cast<int>(FieldKey::firstFact);
    if (i < 0 || i >= static_cast<int>(kFactCount)) {
        return std::nullopt;
    }
    return static_cast<Fact>(i);
}

// How a cell is marked relative to the chosen event. Mapped to a colour in one
// place (style.h), so the rule itself stays a plain function of the values.
enum class Mark { standard, green, pink };

// The rules both panels share: the chosen event itself (`chosen`: told by
// its place in the store, not by its id) is green; the other activity of its
// process is pink with a green PID cell.
template <typename Entry>
std::optional<Mark> chosenProcessMark(const Entry& row, bool chosen, const Entry& active,
                                      FieldKey key) {
    if (chosen) {
        return Mark::green;
    }
    if (active.pid == row.pid) {
        return key == FieldKey::pid ? Mark::green : Mark::pink;
    }
    return std::nullopt;
}

// Process rows: the shared rules, then the activity of the parent process.
inline Mark procFieldMark(const ProcPreviewEntry& row, bool chosen,
                          const std::optional<ProcPreviewEntry>& active, FieldKey key) {
    if (!active) {
        return Mark::standard;
    }
    if (const auto mark = chosenProcessMark(row, chosen, *active, key)) {
        return *mark;
    }
    return active->ppid == row.pid ? Mark::pink : Mark::standard;
}

// File rows: the shared rules only; file events carry no parent id.
inline Mark fileFieldMark(const FilePreviewEntry& row, bool chosen,
                          const std::optional<FilePreviewEntry>& active, FieldKey key) {
    if (!active) {
        return Mark::standard;
    }
    return chosenProcessMark(row, chosen, *active, key).value_or(Mark::standard);
}

// Other rows: the Files tab's rules, against the other tab's own chosen row.
inline Mark otherFieldMark(const OtherPreviewEntry& row, bool chosen,
                           const std::optional<OtherPreviewEntry>& active, FieldKey key) {
    if (!active) {
        return Mark::standard;
    }
    return chosenProcessMark(row, chosen, *active, key).value_or(Mark::standard);
}

}  // namespace korvantis::ui
