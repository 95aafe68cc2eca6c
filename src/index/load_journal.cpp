#include "index/load_journal.h"

#include <algorithm>
#include <cstring>

#include "decode/event_kinds.h"
#include "decode/row_facts.h"
#include "index/index_file.h"
#include "index/index_format.h"
#include "index/index_writer.h"
#include "index/journal_records.h"
#include "index/lifetime_section.h"
#include "store/event_store.h"
#include "store/interned_texts.h"

namespace korvantis {

namespace {

using journal_section::kEnd;
using journal_section::kErrorMessages;
using journal_section::kErrors;
using journal_section::kFactTexts;
using journal_section::kGaps;
using journal_section::kLines;
using journal_section::kPathTexts;
using journal_section::kRows;
using journal_section::kTimestamps;
// The end: where the text read ends, the lines read, whether a message
// number was seen and the last one, and per kind the rows' earliest time.
constexpr std::size_t kEndWords = 4 + kRowKinds.size();

// How many rows ahead the ids of the rows' texts are fetched.
constexpr std::size_t kIdsAhead = 16;

struct ErrorRecord {
    std::uint64_t line;  // within the log
    std::uint64_t offset;
    std::uint64_t checksum;
    std::uint32_t length;
    std::uint32_t flags;
    std::uint64_t messageLength;
};
static_assert(sizeof(ErrorRecord) == 40);
constexpr std::uint32_t kIsLine = 1;
constexpr std::uint32_t kStandsForLine = 2;

struct GapRecord {
    std::uint64_t line;
    std::uint64_t lost;
    std::uint64_t entry;  // among the log's stored lines
};
static_assert(sizeof(GapRecord) == 24);

template <typename Record>
void appendRecord(SpillBuffer& out, const Record& record) {
    out.append(std::string_view(reinterpret_cast<const char*>(&record), sizeof record));
}

}  // namespace

LoadJournal::LoadJournal(std::uint64_t firstLine, const std::string& folder,
                         std::unique_ptr<IndexDraft> draft)
    : firstLine_(firstLine),
      draft_(std::move(draft)),
      lines_(folder),
      rows_(folder, draft_ ? draft_->fd() : -1, kHeaderSize),
      timestamps_(folder),
      pathTexts_(folder),
      factTexts_(folder),
      errors_(folder),
      errorMessages_(folder),
      gaps_(folder) {}

LoadJournal::~LoadJournal() = default;

std::unique_ptr<LoadJournal> LoadJournal::extending(std::unique_ptr<IndexFile> file,
                                                    JournalReplay& replay, std::uint64_t firstLine,
                                                    const std::string& folder, RowTexts& texts) {
    auto journal = std::make_unique<LoadJournal>(firstLine, folder);
    replay.keepTexts(texts);
    // Two texts the index holds alike are kept once, and keep the first id.
    auto seed = [](TextIds& ids, const std::vector<std::string_view>& kept) {
        for (std::uint32_t id = 0; id < kept.size(); ++id) {
            if (kept[id].empty()) {
                ids.empty = std::min(ids.empty, id);
            } else if (std::uint32_t& slot = ids.slotOf(InternedTexts::ordinalOf(kept[id].data()));
                       slot == 0) {
                slot = id + 1;
            }
        }
        ids.next = static_cast<std::uint32_t>(kept.size());
    };
    seed(journal->pathIds_, replay.pathTexts_);
    seed(journal->factIds_, replay.factTexts_);
    const auto section = [&](std::string_view name) { return file->section(name).value_or(""); };
    journal->baseSections_ = {section(kLines),         section(kRows),      section(kTimestamps),
                              section(kPathTexts),     section(kFactTexts), section(kErrors),
                              section(kErrorMessages), section(kGaps)};
    journal->storedLines_ = replay.storedLines();
    journal->earliest_ = replay.earliest_;
    journal->continueAt(firstLine);
    // The runs the new rows end may have begun in the index's rows.
    std::uint64_t record = 0;
    const std::uint64_t records = replay.rows_.size() / sizeof(RowRecord);
    for (std::uint64_t i = 0; i < replay.lineCount_ && record < records; ++i) {
        const auto l = recordAt<LineRecord>(replay.lines_, i);
        if (l.kind == 0 || l.kind > 3) {
            continue;
        }
        const auto r = recordAt<RowRecord>(replay.rows_, record++);
        const auto kind = static_cast<RowKind>(l.kind - 1);
        if (kind == RowKind::file) {
            continue;
        }
        auto pathAt = [&](std::uint32_t id) {
            return id < replay.pathTexts_.size() ? replay.pathTexts_[id] : std::string_view();
        };
        RowView row;
        row.kind = kind;
        row.type = kind == RowKind::other
                       ? pathAt(r.type)
                       : kEventKindNames[l.type < kEventKindNames.size() ? l.type : 0];
        row.path = pathAt(r.path);
        row.pid = r.pid;
        if (r.facts != kNoText && r.facts < replay.factTexts_.size()) {
            row.facts = RowFacts(replay.factTexts_[r.facts].data());
        }
        journal->lifetimes_.add(row);
    }
    journal->base_ = std::move(file);
    return journal;
}

void LoadJournal::TextIds::prefetch(std::uint32_t ordinal) const {
    if (ordinal < byOrdinal.size()) {
        __builtin_prefetch(&byOrdinal[ordinal]);
    }
}

std::uint32_t& LoadJournal::TextIds::slotOf(std::uint32_t ordinal) {
    if (ordinal >= byOrdinal.size()) {
        byOrdinal.resize(std::max<std::size_t>(std::size_t{ordinal} + 1, byOrdinal.size() * 2));
    }
    return byOrdinal[ordinal];
}

std::uint32_t LoadJournal::textId(TextIds& ids, SpillBuffer& texts, std::string_view text,
                                  const std::uint32_t* ordinal) {
    // The rows' texts are the store's, kept once each with their ordinals:
    // had with the rows, or else read beside the text.
    std::uint32_t id;
    if (text.empty()) {
        if (ids.empty != TextIds::kNone) {
            return ids.empty;
        }
        id = ids.empty = ids.next++;
    } else {
        std::uint32_t& slot =
            ids.slotOf(ordinal != nullptr ? *ordinal : InternedTexts::ordinalOf(text.data()));
        if (slot != 0) {
            return slot - 1;
        }
        id = ids.next++;
        slot = id + 1;
    }
    const auto length = static_cast<std::uint32_t>(text.size());
    texts.append(std::string_view(reinterpret_cast<const char*>(&length), 4));
    texts.append(text);
    return id;
}

void LoadJournal::add(const FiledRows& rows) {
    std::size_t message = 0;
    for (const FiledRows::Error& error : rows.errors) {
        ErrorRecord r{};
        r.line = error.origin.line;
        r.offset = error.line.offset;
        r.checksum = error.line.checksum;
        r.length = error.line.length;
        r.flags = (error.isLine ? kIsLine : 0) | (error.standsForLine ? kStandsForLine : 0);
        r.messageLength = error.isLine ? 0 : error.messageLength;
        appendRecord(errors_, r);
        if (!error.isLine) {
            errorMessages_.append(
                std::string_view(rows.errorMessages).substr(message, error.messageLength));
            message += error.messageLength;
        }
    }
    for (const SequenceGap& gap : rows.sequenceGaps) {
        appendRecord(gaps_, GapRecord{gap.line, gap.lost, gap.entry.value() - firstLine_});
    }
    PerKind<std::size_t> next{};
    PerKind<bool> numbered{};
    for (const RowKind kind : kRowKinds) {
        numbered[kind] = rows.ordinals[kind].size() == rows.rows[kind].size();
    }
    for (const FiledRows::StoredLine& line : rows.lines) {
        LineRecord l{};
        l.offset = line.ref.offset;
        l.checksum = line.ref.checksum;
        l.length = line.ref.length;
        l.kind = line.row ? static_cast<std::uint8_t>(static_cast<int>(*line.row) + 1) : 0;
        l.type = line.type;
        appendRecord(lines_, l);
        ++storedLines_;
        if (!line.row) {
            continue;
        }
        const std::size_t at = next[*line.row]++;
        const RowView& row = rows.rows[*line.row][at];
        if (*line.row != RowKind::file) {
            lifetimes_.add(row);
        }
        const RowTextOrdinals* ordinals =
            numbered[*line.row] ? &rows.ordinals[*line.row][at] : nullptr;
        // The ids of the rows' texts are asked for a few rows ahead: on a
        // large log most texts are new, and their slots far apart.
        if (ordinals != nullptr && at + kIdsAhead < rows.ordinals[*line.row].size()) {
            const RowTextOrdinals& ahead = rows.ordinals[*line.row][at + kIdsAhead];
            pathIds_.prefetch(ahead.path);
            factIds_.prefetch(ahead.facts);
        }
        TimeValue& earliest = earliest_[*line.row];
        if (row.time != kNoTimeValue && (earliest == kNoTimeValue || row.time < earliest)) {
            earliest = row.time;
        }
        RowRecord r{};
        r.timestampAt = baseSections_[2].size() + timestamps_.size();
        r.timestampLength = static_cast<std::uint32_t>(row.timestamp.size());
        timestamps_.append(row.timestamp);
        r.path = textId(pathIds_, pathTexts_, row.path, ordinals ? &ordinals->path : nullptr);
        r.facts = row.facts.encoded() == nullptr
                      ? kNoText
                      : textId(factIds_, factTexts_, InternedTexts::storedAt(row.facts.encoded()),
                               ordinals ? &ordinals->facts : nullptr);
        r.type = *line.row == RowKind::other
                     ? textId(pathIds_, pathTexts_, row.type, ordinals ? &ordinals->type : nullptr)
                     : 0;
        r.pid = row.pid;
        r.ppid = row.ppid;
        r.time = row.time;
        appendRecord(rows_, r);
    }
}

bool LoadJournal::write(IndexWriter& writer, const JournalEnd& end, std::string* whyNot) {
    const std::pair<std::string_view, SpillBuffer*> sections[kSections] = {
        {kLines, &lines_},
        {kRows, &rows_},
        {kTimestamps, &timestamps_},
        {kPathTexts, &pathTexts_},
        {kFactTexts, &factTexts_},
        {kErrors, &errors_},
        {kErrorMessages, &errorMessages_},
        {kGaps, &gaps_},
    };
    auto copy = [&](std::size_t i) {
        const auto& [name, buffer] = sections[i];
        writer.beginSection(name);
        writer.append(baseSections_[i]);
        const bool copied = buffer->copyTo(writer);
        writer.endSection();
        if (!copied && whyNot != nullptr) {
            *whyNot = buffer->failure();
        }
        return copied;
    };
    // The rows first: in a draft they are in that place already.
    constexpr std::size_t kRowsAt = 1;
    if (!copy(kRowsAt)) {
        return false;
    }
    writer.beginSection(kEnd);
    writer.appendU64(end.textEnd);
    writer.appendU64(end.lines);
    writer.appendU64(end.lastSequence ? 1 : 0);
    writer.appendU64(static_cast<std::uint64_t>(end.lastSequence.value_or(0)));
    for (const RowKind kind : kRowKinds) {
        writer.appendU64(static_cast<std::uint64_t>(earliest_[kind]));
    }
    writer.endSection();
    for (std::size_t i = 0; i < kSections; ++i) {
        if (i != kRowsAt && !copy(i)) {
            return false;
        }
    }
    writeLifetimeSection(writer, lifetimes_);
    return true;
}

std::optional<JournalReplay> JournalReplay::read(const IndexFile& file, std::string* whyNot,
                                                 bool placeRows, JournalScan* scanned) {
    auto bad = [whyNot](std::string_view section) {
        if (whyNot != nullptr) {
            *whyNot = "section " + std::string(section) + " does not hold what it should";
        }
        return std::nullopt;
    };
    const auto end = file.section(kEnd);
    const auto lines = file.section(kLines);
    const auto rows = file.section(kRows);
    const auto timestamps = file.section(kTimestamps);
    const auto pathTexts = file.section(kPathTexts);
    const auto factTexts = file.section(kFactTexts);
    const auto errors = file.section(kErrors);
    const auto messages = file.section(kErrorMessages);
    const auto gaps = file.section(kGaps);
    if (!end || !lines || !rows || !timestamps || !pathTexts || !factTexts || !errors ||
        !messages || !gaps) {
        if (whyNot != nullptr) {
            *whyNot = "it lacks a section of the load";
        }
        return std::nullopt;
    }
    JournalReplay replay;
    if (end->size() != kEndWords * 8) {
        return bad(kEnd);
    }
    SectionReader endReader(*end);
    replay.end_.textEnd = *endReader.u64();
    replay.end_.lines = *endReader.u64();
    const std::uint64_t hasLast = *endReader.u64();
    const std::uint64_t last = *endReader.u64();
    for (const RowKind kind : kRowKinds) {
        replay.earliest_[kind] = static_cast<TimeValue>(*endReader.u64());
    }
    if (hasLast > 1) {
        return bad(kEnd);
    }
    if (hasLast == 1) {
        replay.end_.lastSequence = static_cast<std::int64_t>(last);
    }
    if (lines->size() % sizeof(LineRecord) != 0 || rows->size() % sizeof(RowRecord) != 0 ||
        errors->size() % sizeof(ErrorRecord) != 0 || gaps->size() % sizeof(GapRecord) != 0) {
        return bad("records");
    }
    JournalScan own(placeRows);
    JournalScan& scan =
        scanned != nullptr && (scanned->placesRows() || !placeRows) ? *scanned : own;
    scan.scanRest(file);
    auto paths = std::move(scan.paths()).places(*pathTexts);
    auto facts = std::move(scan.facts()).places(*factTexts);
    if (!paths || paths->size() >= kNoText) {
        return bad(kPathTexts);
    }
    if (!facts || facts->size() >= kNoText) {
        return bad(kFactTexts);
    }
    replay.pathPlaces_ = std::move(*paths);
    replay.factPlaces_ = std::move(*facts);
    replay.lineCount_ = lines->size() / sizeof(LineRecord);
    const std::uint64_t rowCount = rows->size() / sizeof(RowRecord);
    // Lines in file order, inside the text read, each row's line with one.
    // The rows' own records are not gone through: every read of them keeps
    // within the sections their places point into (a place outside reads
    // as an empty text), and a reopening reads only the rows it shows.
    JournalScan::Lines& scannedLines = scan.lines();
    if (!scannedLines.sound || scannedLines.textEnd > replay.end_.textEnd) {
        return bad(kLines);
    }
    std::uint64_t rowLines = 0;
    for (const RowKind kind : kRowKinds) {
        rowLines += scannedLines.rows[kind];
    }
    if (rowLines != rowCount || replay.lineCount_ > replay.end_.lines) {
        return bad(kRows);
    }
    replay.rowCounts_ = scannedLines.rows;
    if (placeRows) {
        replay.rowPlaces_ = std::move(scannedLines.places);
    }
    std::uint64_t messageBytes = 0;
    std::uint64_t lastLine = 0;
    for (std::uint64_t i = 0; i < errors->size() / sizeof(ErrorRecord); ++i) {
        const auto e = recordAt<ErrorRecord>(*errors, i);
        if ((e.flags & ~(kIsLine | kStandsForLine)) != 0 || e.line < lastLine ||
            e.line > replay.end_.lines || e.length > kLongestLine ||
            e.messageLength > messages->size() - messageBytes) {
            return bad(kErrors);
        }
        lastLine = e.line;
        messageBytes += e.messageLength;
    }
    if (messageBytes != messages->size()) {
        return bad(kErrorMessages);
    }
    for (std::uint64_t i = 0; i < gaps->size() / sizeof(GapRecord); ++i) {
        const auto g = recordAt<GapRecord>(*gaps, i);
        if (g.entry > replay.lineCount_ || g.line > replay.end_.lines) {
            return bad(kGaps);
        }
    }
    auto lifetimes = readLifetimeSection(file, replay.rowCounts_[RowKind::process],
                                         replay.rowCounts_[RowKind::other], whyNot);
    if (!lifetimes) {
        return std::nullopt;
    }
    replay.lifetimes_ = *lifetimes;
    replay.lines_ = *lines;
    replay.rows_ = *rows;
    replay.timestamps_ = *timestamps;
    replay.errors_ = *errors;
    replay.errorMessages_ = *messages;
    replay.gaps_ = *gaps;
    return replay;
}

std::vector<SequenceGap> JournalReplay::counterGaps() const {
    std::vector<SequenceGap> gaps;
    for (std::uint64_t i = 0; i < gaps_.size() / sizeof(GapRecord); ++i) {
        const auto g = recordAt<GapRecord>(gaps_, i);
        gaps.push_back(SequenceGap{g.line, g.lost});
    }
    return gaps;
}

void JournalReplay::keepTexts(RowTexts& texts) {
    auto viewsOf = [](const TextPlaces& places) {
        std::vector<std::string_view> views(places.size());
        for (std::size_t i = 0; i < views.size(); ++i) {
            views[i] = places[i];
        }
        return views;
    };
    pathTexts_ = viewsOf(pathPlaces_);
    factTexts_ = viewsOf(factPlaces_);
    std::vector<std::string_view> stored(pathTexts_.size());
    texts.pathsAndTypes.internAll(pathTexts_, stored);
    pathTexts_ = std::move(stored);
    stored.assign(factTexts_.size(), {});
    texts.facts.internAll(factTexts_, stored);
    // Checked again as kept: the mapped index may have been cut short since
    // it was checked, and reads as zeros where it was.
    for (std::string_view& kept : stored) {
        if (!isEncodedFacts(kept)) {
            kept = texts.facts.intern(std::string_view("\0\0", 2));
        }
    }
    factTexts_ = std::move(stored);
}

bool JournalReplay::next(FiledRows& rows, std::uint32_t log, std::uint64_t firstLine,
                         std::size_t most, RowTexts& texts) {
    if (!errorsGiven_) {
        errorsGiven_ = true;
        for (std::uint64_t i = 0; i < errors_.size() / sizeof(ErrorRecord); ++i) {
            const auto e = recordAt<ErrorRecord>(errors_, i);
            FiledRows::Error error;
            error.origin = {log, e.line};
            error.isLine = (e.flags & kIsLine) != 0;
            error.standsForLine = (e.flags & kStandsForLine) != 0;
            error.line = LineRef{e.offset, e.length, log, e.checksum};
            error.messageLength = error.isLine ? 0 : e.messageLength;
            rows.errors.push_back(error);
        }
        rows.errorMessages.assign(errorMessages_);
        for (std::uint64_t i = 0; i < gaps_.size() / sizeof(GapRecord); ++i) {
            const auto g = recordAt<GapRecord>(gaps_, i);
            rows.sequenceGaps.push_back(
                SequenceGap{g.line, g.lost, log, LinePlace(firstLine + g.entry)});
        }
    }
    // What a cut under the mapping turned to zeros still reads as some text.
    auto pathAt = [&](std::uint32_t id) {
        return id < pathTexts_.size() ? pathTexts_[id] : std::string_view();
    };
    const std::uint64_t until = std::min<std::uint64_t>(lineCount_, nextLine_ + most);
    for (; nextLine_ < until; ++nextLine_) {
        const auto l = recordAt<LineRecord>(lines_, nextLine_);
        FiledRows::StoredLine line;
        line.ref = LineRef{l.offset, l.length, log, l.checksum};
        line.type = l.type < kEventKindNames.size() ? l.type : 0;
        if (l.kind >= 1 && l.kind <= 3 && nextRow_ < rows_.size() / sizeof(RowRecord)) {
            const auto kind = static_cast<RowKind>(l.kind - 1);
            line.row = kind;
            const auto r = recordAt<RowRecord>(rows_, nextRow_++);
            RowView row;
            row.kind = kind;
            row.type = kind == RowKind::other ? pathAt(r.type) : kEventKindNames[line.type];
            const std::string_view timestamp =
                r.timestampAt <= timestamps_.size() &&
                        r.timestampLength <= timestamps_.size() - r.timestampAt
                    ? timestamps_.substr(r.timestampAt, r.timestampLength)
                    : std::string_view();
            row.timestamp = texts.timestamps.store(timestamp);
            row.path = pathAt(r.path);
            row.pid = r.pid;
            row.ppid = r.ppid;
            row.time = r.time;
            if (r.facts != kNoText && r.facts < factTexts_.size()) {
                row.facts = RowFacts(factTexts_[r.facts].data());
            }
            rows.rows[kind].push_back(row);
        }
        rows.lines.push_back(line);
    }
    return nextLine_ < lineCount_ || !rows.empty();
}

}  // namespace korvantis
