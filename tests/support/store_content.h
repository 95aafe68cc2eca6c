#pragma once
// What loads put in a store as one text to compare: the
// lists (process rows with how their runs end), which row each stored line
// made, the errors with their line numbers, the gaps in message numbers,
// every stored line read again (unless its log changed since: not
// `readLines`), and (when asked) the tree.

#include <sstream>
#include <string>

#include "workspace/workspace.h"

namespace korvantis::testsupport {

inline std::string storeContent(const Workspace& ws, bool withTree = true, bool readLines = true) {
    const EventStore& store = ws.store;
    std::ostringstream out;
    for (const RowKind kind : kRowKinds) {
        for (std::size_t i = 0; i < store.rows(kind).size(); ++i) {
            const RowView e = store.row(kind, i);
            out << e.type << '|' << e.timestamp << '|' << e.pid << '|';
            if (e.hasPpid()) {
                out << e.ppid << '|';
            }
            out << e.path << '|' << e.outcome << '\n';
        }
    }
    for (std::size_t i = 0; i < store.lineRefs().size(); ++i) {
        if (const auto row = store.rowAt(LinePlace(i))) {
            out << "row of " << i << ": " << indexOf(row->kind) << ' ' << row->index.value()
                << '\n';
        }
    }
    for (std::size_t i = 0; i < store.loadErrors().listed(); ++i) {
        out << store.loadErrors().origin(i).line << ": " << store.loadErrorText(i) << '\n';
    }
    out << "folded " << store.loadErrors().folded() << '\n';
    for (const SequenceGap& gap : store.sequenceGaps()) {
        out << "gap " << gap.line << ' ' << gap.lost << ' ' << gap.entry.value() << '\n';
    }
    for (std::size_t i = 0; readLines && i < store.lineRefs().size(); ++i) {
        const LineRead line = store.lineText(LinePlace(i));
        out << (line ? *line : "unreadable") << '\n';
    }
    if (withTree) {
        out << store.jsonTreeRaw() << '\n';
    }
    return out.str();
}

}  // namespace korvantis::testsupport
