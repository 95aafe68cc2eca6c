#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "query/filter_query.h"
#include "store/row_fields.h"

namespace korvantis {

// The two forms rows can be written in:
// - JSON lines: each row's raw line, byte for byte, then "\n";
// - CSV: a header naming the fields, by default `kind,type,timestamp,pid,
//   ppid,path`, then one record per row (RFC 4180 quoting, `kind` one of
//   process, file and other, `ppid` empty for file rows, "\n" line ends).
enum class ExportFormat { jsonLines, csv };

// The fields of a CSV record are any of the row fields (see row_fields.h),
// each written as a cell shows it; by default these:
// kind, type, timestamp, pid, ppid, path.
const FieldList& defaultCsvFields();

// Whether rows must carry their raw line for `format`.
inline bool exportNeedsRawLine(ExportFormat format) {
    return format == ExportFormat::jsonLines;
}

struct ExportRow {
    RowView row;
    std::string_view rawLine;  // read for JSON lines only
    std::string failure = {};  // set by a source that cannot go on, with false
};

// Fills in the next row and returns true, or returns false after the last
// one, or returns false with `failure` set when the rows cannot all be had
// (the write then fails with that reason). Rows are pulled one at a time, so none need to be
// gathered first; the views of a row must stay valid until the next call.
using ExportRowSource = std::function<bool(ExportRow&)>;

struct ExportResult {
    std::uint64_t rows = 0;  // rows written
    std::string error;       // empty on success; else names the file and the reason
    bool ok() const { return error.empty(); }
};

// Writes all rows to the open descriptor `fd`; `name` names it in an error.
// A CSV header comes first unless `header` is false (more rows of the same
// output).
ExportResult writeRows(int fd, std::string_view name, ExportFormat format,
                       const ExportRowSource& next, const FieldList& fields = defaultCsvFields(),
                       bool header = true);

// Writes all rows to a new file beside `target`, flushes it to disk and
// renames it over `target` (through a link, keeping the mode: replaceFile).
// On any failure the new file is removed, `target` is left as it was, and the
// error names `target` and the system's reason.
ExportResult exportRowsToFile(const std::string& target, ExportFormat format,
                              const ExportRowSource& next,
                              const FieldList& fields = defaultCsvFields());

}  // namespace korvantis
