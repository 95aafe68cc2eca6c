#include "output/snapshot_export.h"

#include <cstddef>
#include <optional>

#include "query/ordered_line_reads.h"

namespace korvantis {

namespace {

ExportResult exportFrom(const std::string& target, ExportFormat format,
                        const RowsSnapshot& snapshot, const KindRowsSnapshot& list,
                        const ExportedRows& rows, const std::atomic<bool>* stop) {
    const RowNumbers* shown = rows.shown;
    const std::size_t count = shown ? shown->size() : list.size();
    const bool raw = exportNeedsRawLine(format);
    std::size_t next = 0;
    // The shown order may be a sort: a compressed log's lines are read in
    // batches in their own order.
    const LogFiles none;
    OrderedLineReads lines(snapshot.logs ? *snapshot.logs : none, count, [&](std::size_t k) {
        const std::size_t i = shown ? (*shown)[k] : k;
        const std::size_t entry = i < list.size() ? list.placeOf(i).value() : SIZE_MAX;
        return entry < snapshot.refs.size() ? snapshot.refs[entry] : LineRef{0, 0, UINT32_MAX, 0};
    });
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
            out.row = snapshot.row(list.kind(), i);
            if (raw) {
                ReadBack<std::string_view> line;
                if (snapshot.logs && list.placeOf(i).value() < snapshot.refs.size()) {
                    line = lines.read(next - 1);
                } else {
                    line.failure.kind = ReadFailure::Kind::changed;
                }
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
