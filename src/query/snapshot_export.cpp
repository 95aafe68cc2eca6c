#include "query/snapshot_export.h"

#include <cstddef>
#include <optional>

namespace korvantis {

namespace {

ExportResult exportFrom(const std::string& target, ExportFormat format,
                        const RowsSnapshot& snapshot, const KindRowsSnapshot& list,
                        const ExportedRows& rows, const std::atomic<bool>* stop) {
    const RowNumbers* shown = rows.shown;
    const std::size_t count = shown ? shown->size() : list.size();
    const bool raw = exportNeedsRawLine(format);
    std::size_t next = 0;
    LineRead line;
    return exportRowsToFile(
        target, format,
        [&](ExportRow& out) {
            if (next >= count) {
                return false;
            }
            if (stop != nullptr && next % 4096 == 0 && stop->load(std::memory_order_relaxed)) {
                out.failure = "The export of \"" + target + "\" was stopped.";
                return false;
            }
            const std::size_t i = shown ? (*shown)[next] : next;
            ++next;
            if (i >= list.size()) {
                out.failure = "Could not write \"" + target + "\": a row is no longer there.";
                return false;
            }
            out.row = list.rowView(i);
            if (raw) {
                line = snapshot.lineText(list.placeOf(i));
                if (!line) {
                    out.failure =
                        "Could not write \"" + target + "\": " + readFailureText(line.failure);
                    return false;
                }
                out.rawLine = *line;
            }
            return true;
        },
        rows.csvFields);
}

}  // namespace

ExportResult exportSnapshotRows(const std::string& target, ExportFormat format,
                                const RowsSnapshot& snapshot, const ExportedRows& rows,
                                const std::atomic<bool>* stop) {
    return exportFrom(target, format, snapshot, snapshot.rows[rows.list], rows, stop);
}

}  // namespace korvantis
