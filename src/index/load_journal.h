#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/index_draft.h"
#include "index/journal_scan.h"
#include "index/spill_buffer.h"
#include "index/text_places.h"
#include "store/filed_rows.h"
#include "store/kept_lifetimes.h"
#include "store/process_lifetimes.h"
#include "store/sequence_gap.h"

namespace korvantis {

class IndexFile;
class IndexWriter;
class JournalReplay;
struct RowTexts;

// Where the load of one log ended: enough to read on after it when the log
// has grown.
struct JournalEnd {
    std::uint64_t textEnd = 0;                 // just after the last line read
    std::uint64_t lines = 0;                   // lines read
    std::optional<std::int64_t> lastSequence;  // the last message number seen
};

// Everything one load of a log handed to its store, written down as it is
// handed over: the stored lines by reference, the rows with their texts
// (each path, type name and set of facts once), the load errors, the
// message number gaps and how the runs of its processes end. Lines, errors and gaps are kept
// relative to the log, so that the log may take another place among a store's logs when it is read
// back.
class LoadJournal {
  public:
    // `firstLine`: the place the log's first stored line has in the store;
    // the journal's bytes spill into `folder`.
    // With a `draft` to write the index into, the rows, its largest part,
    // go into their place there as they come, where they would otherwise
    // be spilled and copied in at the end.
    LoadJournal(std::uint64_t firstLine, const std::string& folder,
                std::unique_ptr<IndexDraft> draft = nullptr);
    // A journal that goes on after what `file` holds (read back and checked
    // as `replay`, its texts kept in `texts`): what it adds is written after
    // the index's own sections, with the ids the index gave its texts, so
    // that a followed log's index grows without its rows being filed again.
    static std::unique_ptr<LoadJournal> extending(std::unique_ptr<IndexFile> file,
                                                  JournalReplay& replay, std::uint64_t firstLine,
                                                  const std::string& folder, RowTexts& texts);
    ~LoadJournal();

    // The log's next lines take the store's places from `firstLine` on
    // (a followed log's new lines come after other logs' lines).
    void continueAt(std::uint64_t firstLine) { firstLine_ = firstLine - storedLines_; }
    void add(const FiledRows& rows);
    // The sections, into an index; false when the bytes could not be kept
    // (`*whyNot` says why).
    bool write(IndexWriter& writer, const JournalEnd& end, std::string* whyNot);
    // The draft to write the index into, when there is one.
    IndexDraft* draft() const { return draft_.get(); }

  private:
    // The ids of one kind of stored text, by the ordinal the store's texts
    // gave it when they kept it (see InternedTexts::ordinalOf): a look-up
    // in a plain array, not a hash table, for every row's texts.
    struct TextIds {
        std::vector<std::uint32_t> byOrdinal;  // the id + 1; 0: not written yet
        std::uint32_t empty = kNone;           // the id of the empty text
        std::uint32_t next = 0;                // the id of the next new text
        static constexpr std::uint32_t kNone = UINT32_MAX;
        // Where the id of the text of ordinal `ordinal` is kept.
        std::uint32_t& slotOf(std::uint32_t ordinal);
        void prefetch(std::uint32_t ordinal) const;
    };
    // `ordinal`: the text's (see RowTextOrdinals), or none when not known.
    std::uint32_t textId(TextIds& ids, SpillBuffer& texts, std::string_view text,
                         const std::uint32_t* ordinal);

    // The sections this journal goes on after, in the order write() writes
    // them, and the index holding them.
    static constexpr std::size_t kSections = 8;
    std::unique_ptr<IndexFile> base_;
    std::array<std::string_view, kSections> baseSections_{};

    std::uint64_t firstLine_;  // the store's place of the log's first stored line
    std::uint64_t storedLines_ = 0;
    std::unique_ptr<IndexDraft> draft_;
    SpillBuffer lines_;
    SpillBuffer rows_;
    SpillBuffer timestamps_;
    SpillBuffer pathTexts_;  // paths and other rows' type names
    SpillBuffer factTexts_;
    SpillBuffer errors_;
    SpillBuffer errorMessages_;
    SpillBuffer gaps_;
    TextIds pathIds_;
    TextIds factIds_;
    // Of the log's own rows (it may follow other logs in a store).
    ProcessLifetimes lifetimes_;
    PerKind<TimeValue> earliest_{{kNoTimeValue, kNoTimeValue, kNoTimeValue}};
};

// A journal read back from an index, checked whole before any row of it is
// given out: every count, text place, kind and fact encoding within what
// its sections hold.
class JournalReplay {
  public:
    // Nothing when the index holds no journal or one that does not hold
    // what it should; `*whyNot` then says which part. With `placeRows`, the
    // pass that checks the lines also notes where the rows are, for reading
    // them in place (see JournalRows): the lines are gone through once.
    // `scanned`: the scan the index's check went through the sections with
    // (see IndexFile::open), when it did.
    static std::optional<JournalReplay> read(const IndexFile& file, std::string* whyNot = nullptr,
                                             bool placeRows = false,
                                             JournalScan* scanned = nullptr);

    const JournalEnd& end() const { return end_; }
    std::uint64_t storedLines() const { return lineCount_; }
    // The gaps as a counter of the log's message numbers holds them (lines
    // within the log, losses).
    std::vector<SequenceGap> counterGaps() const;

    // Keeps the texts in `texts` (once; before next()).
    void keepTexts(RowTexts& texts);
    // The next lines, at most `most` of them, as the log's load made them:
    // log `log` of the store, its first line at place `firstLine`. False
    // when all were given. The errors and gaps go with the first batch.
    bool next(FiledRows& rows, std::uint32_t log, std::uint64_t firstLine, std::size_t most,
              RowTexts& texts);

  private:
    friend class LoadJournal;
    friend class JournalRows;
    JournalReplay() = default;
    JournalEnd end_;
    std::string_view lines_, rows_, timestamps_, errors_, errorMessages_, gaps_;
    KeptLifetimes::Parts lifetimes_;
    std::optional<RowPlaces> rowPlaces_;  // see read()
    TextPlaces pathPlaces_;               // as the index holds them
    TextPlaces factPlaces_;
    std::vector<std::string_view> pathTexts_;  // as kept (see keepTexts)
    std::vector<std::string_view> factTexts_;
    std::uint64_t lineCount_ = 0;
    // Per kind: the rows, their earliest time value (as the journal's end
    // says).
    PerKind<std::uint64_t> rowCounts_{};
    PerKind<TimeValue> earliest_{{kNoTimeValue, kNoTimeValue, kNoTimeValue}};
    std::uint64_t nextLine_ = 0;
    std::uint64_t nextRow_ = 0;
    bool errorsGiven_ = false;
};

}  // namespace korvantis
