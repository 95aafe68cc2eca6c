// The rows a filter shows, written out as korvantis-inspect --filter does.

#include "inspect/shown_rows_output.h"

#include <unistd.h>

#include <iostream>
#include <vector>

#include "inspect/store_rows.h"
#include "inspect/terminal_text.h"
#include "query/ordered_line_reads.h"
#include "query/row_sort.h"

namespace korvantis {

namespace {

// Rows whose line could not be read again: counted, the first remembered.
class UnreadableRows {
  public:
    void note(LinePlace entry, const ReadFailure& failure) {
        if (count_++ == 0) {
            firstEntry_ = entry;
            firstFailure_ = failure;
        }
    }
    // Names the first on standard error; true when there was none.
    bool report(const EventStore& store) const {
        if (count_ == 0) {
            return true;
        }
        const auto& ref = store.lineRefs().ref(firstEntry_);
        std::cerr << "korvantis-inspect: " << count_ << (count_ == 1 ? " row" : " rows")
                  << " could not be read again, the first "
                  << terminalText(store.logFiles().fileName(ref.log)) << ":"
                  << store.lineNumberOf(firstEntry_).value() << ": "
                  << terminalText(readFailureText(firstFailure_)) << "\n";
        return false;
    }

  private:
    std::size_t count_ = 0;
    LinePlace firstEntry_;
    ReadFailure firstFailure_;
};

// The parts of rows read to match them (what the query reads), and those
// read of the rows shown.
struct PartsRead {
    RowParts matched = RowPart::whole;
    RowParts shown = RowPart::whole;
};

// The next shown row of `cursor` (with its raw line when `withLine`), or
// false after the last.
bool nextShownRow(StoreRowCursor& cursor, const FilterQuery& query, bool withLine, ExportRow& row,
                  UnreadableRows& unreadable, PartsRead parts) {
    const RowParts matched = parts.matched;
    while (cursor.next(row, matched, parts.shown)) {
        // A row that its type shows is read once, as it is shown.
        const bool byType = cursor.shownByType();
        const auto match =
            byType ? RowMatch::shown
                   : matchRow(
                         query, row.row, [&]() -> const auto& { return cursor.rawLine(); });
        if (match == RowMatch::hidden) {
            continue;
        }
        if (match == RowMatch::unreadable || (withLine && !cursor.rawLine())) {
            unreadable.note(cursor.entry(), cursor.rawLine().failure);
            continue;
        }
        if (!byType && (parts.shown & ~matched) != 0) {
            cursor.fill(row, parts.shown | matched);
        }
        if (withLine) {
            row.rawLine = *cursor.rawLine();
        }
        return true;
    }
    return false;
}

// The shown rows gathered, then written in sorted order with their raw
// lines read one by one in that order.
ExportResult writeSorted(const EventStore& store, const FilterQuery& query, ExportFormat format,
                         const FieldList& fields, const RowSort& sort, UnreadableRows& unreadable,
                         const RowMarks* marks) {
    StoreRowCursor cursor(store, marks);
    cursor.skipUnmatchable(query);
    std::vector<RowView> rows;
    std::vector<LinePlace> entries;
    ExportRow row;
    // The lines are read when written, not while gathering.
    while (
        nextShownRow(cursor, query, false, row, unreadable, {query.rowParts(), RowPart::whole})) {
        rows.push_back(row.row);
        entries.push_back(cursor.entry());
    }
    const std::vector<SortKey> keys =
        sortKeys(sort.field, rows.size(), [&](std::size_t i) -> const RowView& { return rows[i]; });
    const std::vector<std::uint32_t> order =
        sortedOrder(keys, sortKindOf(sort.field), sort.descending);
    std::size_t next = 0;
    // Out of load order, a compressed log's lines are read in batches.
    OrderedLineReads lines(store.logFiles(), order.size(),
                           [&](std::size_t k) { return store.lineRefs().ref(entries[order[k]]); });
    return writeRows(
        STDOUT_FILENO, "standard output", format,
        [&](ExportRow& out) {
            while (next < order.size()) {
                const std::uint32_t i = order[next];
                out = {rows[i], {}, {}};
                if (!exportNeedsRawLine(format)) {
                    ++next;
                    return true;
                }
                const ReadBack<std::string_view> line = lines.read(next++);
                if (line) {
                    out.rawLine = *line;
                    return true;
                }
                unreadable.note(entries[i], line.failure);
            }
            return false;
        },
        fields);
}

}  // namespace

RowsWritten writeMatchingRows(const EventStore& store, const FilterQuery& query,
                              ExportFormat format, const FieldList& fields, StoreRowCursor& cursor,
                              bool header) {
    UnreadableRows unreadable;
    // JSON lines are the raw lines alone.
    const PartsRead parts{query.rowParts(),
                          format == ExportFormat::csv ? rowPartsOf(fields) : RowParts{0}};
    const ExportResult result = writeRows(
        STDOUT_FILENO, "standard output", format,
        [&](ExportRow& row) {
            return nextShownRow(cursor, query, exportNeedsRawLine(format), row, unreadable, parts);
        },
        fields, header);
    if (!result.ok()) {
        std::cerr << "korvantis-inspect: " << terminalText(result.error) << "\n";
    }
    return RowsWritten{result.ok(), unreadable.report(store)};
}

bool writeShownRows(const EventStore& store, FilterQuery& query, ExportFormat format,
                    const FieldList& fields, const std::optional<RowSort>& sort,
                    const RowMarks* marks) {
    if (!query.treeRoots().empty()) {
        query.bindTrees(StoreRowCursor::processLinks(store));
    }
    if (!sort) {
        StoreRowCursor cursor(store, marks);
        cursor.skipUnmatchable(query);
        return writeMatchingRows(store, query, format, fields, cursor).ok();
    }
    UnreadableRows unreadable;
    const ExportResult result = writeSorted(store, query, format, fields, *sort, unreadable, marks);
    if (!result.ok()) {
        std::cerr << "korvantis-inspect: " << terminalText(result.error) << "\n";
    }
    return unreadable.report(store) && result.ok();
}

}  // namespace korvantis
