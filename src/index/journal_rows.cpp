#include "index/journal_rows.h"

#include <algorithm>
#include <stdexcept>

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
    if (!replay.rowPlaces_) {
        throw std::invalid_argument("the journal's rows were not placed");
    }
    RowPlaces& places = *replay.rowPlaces_;
    lineOf_ = std::move(places.lineOf);
    rowless_ = std::move(places.rowless);
    bits_ = std::move(places.bits);
    types_ = std::move(places.types);
}

LineRef JournalRows::lineRef(std::size_t line) const {
    const auto l = recordAt<LineRecord>(lines_, line);
    return LineRef{l.offset, l.length, log_, l.checksum};
}

void JournalRows::prefetch(RowKind kind, std::size_t i) const {
    // A record may straddle two lines of the cache.
    const std::size_t at = recordOf(lineOf_[kind][i]) * sizeof(RowRecord);
    if (at < rows_.size()) {
        __builtin_prefetch(rows_.data() + at);
        __builtin_prefetch(rows_.data() + at + sizeof(RowRecord) - 1);
    }
}

RowView JournalRows::row(RowKind kind, std::size_t i, RowParts parts) const {
    const std::uint32_t line = lineOf_[kind][i];
    RowView row;
    row.kind = kind;
    if (kind != RowKind::other && (parts & RowPart::type) != 0) {
        row.type = kEventKindNames[types_[line]];
    }
    // The rest is in the row's own record (and the texts it points to): a
    // filter by the type of process or file rows alone reads none of it.
    const RowParts inRecord = RowPart::timestamp | RowPart::path | RowPart::numbers |
                              RowPart::facts | (kind == RowKind::other ? RowPart::type : 0);
    if ((parts & inRecord) == 0) {
        return row;
    }
    const auto r = recordAt<RowRecord>(rows_, recordOf(line));
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
