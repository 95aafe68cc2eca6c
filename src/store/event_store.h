#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rules/rule_hit_sets.h"
#include "store/chunked_vector.h"
#include "store/filed_rows.h"
#include "store/interned_texts.h"
#include "store/line_ref_table.h"
#include "store/load_errors.h"
#include "store/log_files.h"
#include "store/marked_lines.h"
#include "store/preview_rows.h"
#include "store/process_lifetimes.h"
#include "store/ranked_bits.h"
#include "store/shared_text.h"
#include "store/store_index.h"
#include "store/store_observers.h"
#include "store/text_arena.h"

namespace korvantis {

// The texts that rows refer to: paths and facts kept once each, timestamps. Written
// only by a load's threads, ahead of handing the rows that refer to them to
// the store's thread; never moved, freed with the store.
struct RowTexts {
    InternedTexts pathsAndTypes;  // paths, and the type names of other rows
    InternedTexts facts;          // encoded (see RowFacts): rows of one process share them
    TextArena timestamps;
    RuleHitSets ruleHits;
};

// Everything loaded into one main window: the rows of each kind, the
// load errors, the reference to every stored line, the loaded logs and the
// encoded process tree. Used on the thread that owns it; the loader hands it
// finished rows there.
class EventStore {
  public:
    explicit EventStore(StoreObservers& observers);
    EventStore(const EventStore&) = delete;
    EventStore& operator=(const EventStore&) = delete;

    const LineRefTable& lineRefs() const { return lineRefs_; }
    // The load errors with where each came from; see loadErrorText().
    const LoadErrors& loadErrors() const { return loadErrors_; }
    // The text of load error `i`: a line read back from its log, or a message.
    std::string loadErrorText(std::size_t i) const { return loadErrors_.text(i, *logFiles_); }
    // The name the origin of load error `i` is shown with.
    std::string loadErrorOriginName(std::size_t i) const {
        return loadErrors_.originName(i, *logFiles_);
    }
    // The rows of one kind, in load order.
    const PreviewRows& rows(RowKind kind) const { return rows_[kind]; }
    // Row `i` of `kind`; a process row with how its run ended. With
    // `parts`, at least those are filled in.
    RowView row(RowKind kind, std::size_t i, RowParts parts = RowPart::whole) const {
        RowView row = rows_[kind].view(i, parts);
        if (kind == RowKind::process && (parts & RowPart::outcome) != 0) {
            row.outcome = lifetimes_.outcomeOf(i);
        }
        if (markedLines_) {
            markedLines_->apply(rows_[kind].placeOf(i), row);
        }
        return row;
    }
    // The tags and notes rows carry; null when none.
    std::shared_ptr<const MarkedLines> markedLines() const { return markedLines_; }
    // Gives rows the tags and notes of `lines` (null: none), for every
    // reader from now on.
    void setMarkedLines(std::shared_ptr<const MarkedLines> lines);
    // The store's copy of a mark's text, kept as long as the store.
    std::string_view keepMarkText(std::string_view text) { return markTexts_.intern(text); }
    // The same of many texts at once, into `kept` (as many).
    void keepMarkTexts(std::span<const std::string_view> texts, std::span<std::string_view> kept) {
        markTexts_.internAll(texts, kept);
    }
    // Where eslogger's message numbers jump, per log in load order, each
    // log's in file order.
    const std::vector<SequenceGap>& sequenceGaps() const { return sequenceGaps_; }
    // How the runs of the eslogger process rows end, kept as rows arrive.
    const ProcessLifetimes& lifetimes() const { return lifetimes_; }
    std::string_view jsonTreeRaw() const { return *jsonTree_; }
    // The same text, shared: a tree window reads it in place, without a
    // copy, while the store moves on to the next tree.
    SharedText sharedJsonTree() const { return jsonTree_; }
    // The facts of the tree's nodes (pid, ppid, path, descendants, place of
    // the line), in the order jsonTreeRaw lists the nodes; made by the same
    // build.
    std::string_view jsonTreeFacts() const { return *jsonTreeFacts_; }
    SharedText sharedJsonTreeFacts() const { return jsonTreeFacts_; }

    // The logs lines were loaded from, in order, kept open; shared with
    // workers that read lines again while the store lives on.
    const LogFiles& logFiles() const { return *logFiles_; }
    std::shared_ptr<const LogFiles> sharedLogFiles() const { return logFiles_; }

    // The row a stored line made in the list of `kind`, found without a
    // search: rows are appended in the lines' order, so a line's rank among
    // the lines of its kind is its row's index.
    std::optional<RowIndex> rowOf(RowKind kind, LinePlace place) const;
    // The kind and index of the row a stored line made, if it made one.
    struct RowPlace {
        RowKind kind;
        RowIndex index;
    };
    std::optional<RowPlace> rowAt(LinePlace place) const;
    // The raw text of a stored line, read again from its log; nothing when
    // the log changed after loading.
    LineRead lineText(LinePlace entry) const;
    // The number (from 1) of the line of stored line `entry` in its log;
    // takes time in proportion to the load errors.
    LineNumber lineNumberOf(LinePlace entry) const;

    // Filled by the loader.
    RowTexts& rowTexts() { return rowTexts_; }
    std::uint32_t addLog(int fd, std::string path, int openError = 0,
                         std::shared_ptr<const LogText> text = nullptr);
    // A load error about a whole file that is not among the loaded logs (one
    // that could not be opened), shown with `name` as its origin.
    void addLoadError(std::string_view name, std::string_view text);
    void append(FiledRows& rows);
    // The rows' hits after other detection rules were applied to the first
    // rows of each kind (as many as each list of hits was made for); the
    // rows after them keep theirs.
    struct ReplacedHits {
        PerKind<std::size_t> rows{};
        PerKind<std::vector<PreviewRows::Hit>> hits;
    };
    void replaceRuleHits(const ReplacedHits& hits);
    void setTree(SharedText json, SharedText facts) {
        jsonTree_ = std::move(json);
        jsonTreeFacts_ = std::move(facts);
    }

  private:
    // append()'s steps: a batch's errors and gaps (announcing every list the
    // batch adds to), then its lines.
    void appendErrorsAndGaps(const FiledRows& rows);
    void appendLines(const FiledRows& rows);
    // The lines and rows of `mapped`, read in place, as the first ones;
    // true when they took the place of a preview's.
    bool appendMapped(const std::shared_ptr<const MappedRows>& mapped);
    StoreObservers& observers_;
    LineRefTable lineRefs_;
    LoadErrors loadErrors_;
    std::vector<SequenceGap> sequenceGaps_;
    SharedText jsonTree_ = sharedText({});
    SharedText jsonTreeFacts_ = sharedText({});
    std::shared_ptr<LogFiles> logFiles_;
    RowTexts rowTexts_;  // before the rows, whose hits it names
    PerKind<PreviewRows> rows_{{PreviewRows(RowKind::process, rowTexts_.ruleHits),
                                PreviewRows(RowKind::file, rowTexts_.ruleHits),
                                PreviewRows(RowKind::other, rowTexts_.ruleHits)}};
    PerKind<RankedBits> isRowOf_;  // per kind: which stored lines made a row of it
    ProcessLifetimes lifetimes_;
    InternedTexts markTexts_;
    std::shared_ptr<const MarkedLines> markedLines_;
    // The lines filed so far when they are all a preview (see
    // FiledRows::preview); else 0.
    std::size_t previewLines_ = 0;
};

}  // namespace korvantis
