#include "index/journal_rows.h"

#include <algorithm>

#include "decode/event_kinds.h"
#include "index/journal_records.h"

namespace korvantis {

namespace {

// The longest type name a list of other rows keeps (see PreviewRows).
constexpr std::size_t kLongestTypeName = 255;

}  // namespace

JournalRows::JournalRows(std::shared_ptr<const IndexFile> file, JournalReplay&& replay,
                         std::uint32_t log)
    : file_(std::move(file)),
      log_(log),
      lines_(replay.lines_),
      rows_(replay.rows_),
      timestamps_(replay.timestamps_),
      paths_(std::move(replay.pathPlaces_)),
      facts_(std::move(replay.factPlaces_)),
      lineCount_(replay.lineCount_),
      earliest_(replay.earliest_),
      lifetimes_(std::make_shared<const KeptLifetimes>(replay.lifetimes_, file_)) {
    const std::uint64_t records = rows_.size() / sizeof(RowRecord);
    std::uint64_t record = 0;
    for (const RowKind kind : kRowKinds) {
        lineOf_[kind].reserve(replay.rowCounts_[kind]);
    }
    for (std::size_t line = 0; line < lineCount_; ++line) {
        const auto l = recordAt<LineRecord>(lines_, line);
        // The journal was checked whole; bytes that differ now are zeros
        // of a cut, which make lines without rows.
        const bool hasRow = l.kind >= 1 && l.kind <= 3 && record < records;
        const auto kind = static_cast<RowKind>(hasRow ? l.kind - 1 : 0);
        for (const RowKind k : kRowKinds) {
            bits_[k].push_back(hasRow && k == kind);
        }
        if (!hasRow) {
            rowless_.push_back(static_cast<std::uint32_t>(line));
            continue;
        }
        lineOf_[kind].push_back(static_cast<std::uint32_t>(line));
        ++record;
    }
}

LineRef JournalRows::lineRef(std::size_t line) const {
    const auto l = recordAt<LineRecord>(lines_, line);
    return LineRef{l.offset, l.length, log_, l.checksum};
}

RowView JournalRows::row(RowKind kind, std::size_t i, RowParts parts) const {
    const std::uint32_t line = lineOf_[kind][i];
    RowView row;
    row.kind = kind;
    if (kind != RowKind::other && (parts & RowPart::type) != 0) {
        const auto l = recordAt<LineRecord>(lines_, line);
        row.type = kEventKindNames[l.type < kEventKindNames.size() ? l.type : 0];
    }
    // The rest is in the row's own record (and the texts it points to): a
    // filter by the type of process or file rows alone reads none of it.
    const RowParts inRecord = RowPart::timestamp | RowPart::path | RowPart::numbers |
                              RowPart::facts | (kind == RowKind::other ? RowPart::type : 0);
    if ((parts & inRecord) == 0) {
        return row;
    }
    const auto rowlessBefore = static_cast<std::size_t>(
        std::lower_bound(rowless_.begin(), rowless_.end(), line) - rowless_.begin());
    const auto r = recordAt<RowRecord>(rows_, line - rowlessBefore);
    if (kind == RowKind::other && (parts & RowPart::type) != 0) {
        row.type = textOf(paths_, r.type).substr(0, kLongestTypeName);
    }
    if ((parts & RowPart::timestamp) != 0) {
        row.timestamp = r.timestampAt <= timestamps_.size() &&
                                r.timestampLength <= timestamps_.size() - r.timestampAt
                            ? timestamps_.substr(r.timestampAt, r.timestampLength)
                            : std::string_view();
    }
    if ((parts & RowPart::path) != 0) {
        row.path = textOf(paths_, r.path);
    }
    if ((parts & RowPart::numbers) != 0) {
        row.pid = r.pid;
        row.ppid = kind == RowKind::file ? 0 : r.ppid;
        row.time = r.time;
    }
    if ((parts & RowPart::facts) != 0 && r.facts != kNoText && r.facts < facts_.size()) {
        row.facts = RowFacts(facts_[r.facts].data());
    }
    return row;
}

}  // namespace korvantis
