#include "store/event_store.h"

#include <algorithm>
#include <stdexcept>

namespace korvantis {

EventStore::EventStore(StoreObservers& observers)
    : observers_(observers), logFiles_(std::make_shared<LogFiles>()) {}

std::optional<RowIndex> EventStore::rowOf(RowKind kind, LinePlace place) const {
    const RankedBits& bits = isRowOf_[kind];
    const std::size_t entry = place.value();
    if (entry >= bits.size() || !bits.test(entry)) {
        return std::nullopt;
    }
    return RowIndex(bits.rank(entry));
}

std::optional<EventStore::RowPlace> EventStore::rowAt(LinePlace place) const {
    for (const RowKind kind : kRowKinds) {
        if (const auto index = rowOf(kind, place)) {
            return RowPlace{kind, *index};
        }
    }
    return std::nullopt;
}

LineRead EventStore::lineText(LinePlace entry) const {
    return logFiles_->read(lineRefs_.ref(entry));
}

LineNumber EventStore::lineNumberOf(LinePlace place) const {
    // Every line of a log is a stored line, a load error that is a line, or
    // both for a message about a stored line: counting the stored lines of
    // its log before it and merging in the errors that are lines alone
    // gives its number.
    // Linear in the load errors: for naming a line now and then.
    const std::size_t entry = place.value();
    const std::uint32_t log = lineRefs_.ref(place).log;
    std::size_t first = 0;  // of the log's lines, which stand together
    for (std::size_t last = entry; first < last;) {
        const std::size_t mid = first + (last - first) / 2;
        if (lineRefs_.ref(LinePlace(mid)).log < log) {
            first = mid + 1;
        } else {
            last = mid;
        }
    }
    std::uint64_t number = entry - first + 1;
    loadErrors_.forEachLineRun([&](std::uint32_t runLog, std::uint64_t line, std::uint64_t lines) {
        if (runLog == log && line <= number) {
            number += lines;
        }
    });
    return LineNumber(number);
}

std::uint32_t EventStore::addLog(int fd, std::string path, int openError,
                                 std::shared_ptr<const LogText> text) {
    observers_.announce(StoreField::loadedLogs);
    return logFiles_->add(fd, std::move(path), openError, std::move(text));
}

void EventStore::addLoadError(std::string_view name, std::string_view text) {
    observers_.announce(StoreField::loadErrors);
    loadErrors_.addNamedMessage(name, text);
}

void EventStore::replaceRuleHits(const ReplacedHits& hits) {
    observers_.announce(StoreField::ruleHits);
    for (RowKind kind : kRowKinds) {
        rows_[kind].replaceHits(hits.rows[kind], hits.hits[kind]);
    }
}

void EventStore::setMarkedLines(std::shared_ptr<const MarkedLines> lines) {
    observers_.announce(StoreField::rowMarks);
    markedLines_ = std::move(lines);
}

void EventStore::append(FiledRows& rows) {
    // All or nothing: a batch filed in part would leave lists that disagree
    // (a line without its row, a row without its bit), so when memory runs
    // out part way every list goes back to where the batch began.
    const std::size_t lines = lineRefs_.size();
    const LoadErrors::Mark errors = loadErrors_.mark();
    const std::size_t gaps = sequenceGaps_.size();
    PerKind<PreviewRows::Mark> kept{};
    for (const RowKind kind : kRowKinds) {
        kept[kind] = rows_[kind].mark();
    }
    bool replacedPreview = false;
    try {
        appendErrorsAndGaps(rows);
        if (rows.mapped) {
            replacedPreview = appendMapped(rows.mapped);
        }
        appendLines(rows);
        previewLines_ = rows.preview ? lineRefs_.size() : 0;
        if (rows.mapped) {
            lifetimes_.keep(rows.mapped->lifetimes());
        }
        lifetimes_.catchUp(rows_[RowKind::process], rows_[RowKind::other]);
    } catch (...) {
        if (replacedPreview) {
            // The rows shown before are gone: the batch's lines stay, and
            // the load stops after them.
            throw;
        }
        lineRefs_.truncate(lines);
        loadErrors_.rollBack(errors);
        sequenceGaps_.erase(sequenceGaps_.begin() + static_cast<std::ptrdiff_t>(gaps),
                            sequenceGaps_.end());
        for (const RowKind kind : kRowKinds) {
            rows_[kind].rollBack(kept[kind]);
            isRowOf_[kind].truncate(lines);
        }
        throw;
    }
    rows.clear();
}

void EventStore::appendErrorsAndGaps(const FiledRows& rows) {
    // One announcement per list and batch: the rows of a batch appear
    // together.
    if (!rows.errors.empty()) {
        observers_.announce(StoreField::loadErrors);
        std::size_t message = 0;
        for (const FiledRows::Error& error : rows.errors) {
            if (error.isLine) {
                loadErrors_.addLine(error.origin, error.line);
            } else {
                loadErrors_.addMessage(
                    error.origin,
                    std::string_view(rows.errorMessages).substr(message, error.messageLength),
                    error.standsForLine);
                message += error.messageLength;
            }
        }
    }
    for (const RowKind kind : kRowKinds) {
        if (!rows.rows[kind].empty()) {
            observers_.announce(rowsField(kind));
        }
    }
    if (!rows.sequenceGaps.empty()) {
        observers_.announce(StoreField::sequenceGaps);
        sequenceGaps_.insert(sequenceGaps_.end(), rows.sequenceGaps.begin(),
                             rows.sequenceGaps.end());
    }
}

bool EventStore::appendMapped(const std::shared_ptr<const MappedRows>& mapped) {
    // The mapped lines take the first places: they cannot follow others,
    // only stand in for a preview of their first ones.
    const bool replacing = previewLines_ != 0 && previewLines_ == lineRefs_.size();
    if (!lineRefs_.empty() && !replacing) {
        throw std::invalid_argument("mapped rows go only into an empty store");
    }
    if (replacing) {
        // Where the shown rows could go less far, the lists' readers would
        // read past their ends.
        if (mapped->lineCount() < lineRefs_.size()) {
            throw std::invalid_argument("mapped rows hold fewer lines than their preview");
        }
        for (const RowKind kind : kRowKinds) {
            if (mapped->rowCount(kind) < rows_[kind].size()) {
                throw std::invalid_argument("mapped rows hold fewer rows than their preview");
            }
        }
    }
    for (const RowKind kind : kRowKinds) {
        if (mapped->rowCount(kind) != 0) {
            observers_.announce(rowsField(kind));
        }
    }
    // Had before anything changes: from here on nothing can fail.
    PerKind<RankedBits> bits = mapped->rowBits();
    if (replacing) {
        for (const RowKind kind : kRowKinds) {
            rows_[kind].reserveToReplacePushed();
        }
        lineRefs_.reserveToReplaceAppended();
        lifetimes_.reserveToRestart();
    }
    for (const RowKind kind : kRowKinds) {
        isRowOf_[kind] = std::move(bits[kind]);
        if (replacing) {
            rows_[kind].replacePushedByMapped(mapped);
        } else {
            rows_[kind].mapPrefix(mapped);
        }
    }
    if (replacing) {
        lineRefs_.replaceAppendedByMapped(mapped);
        lifetimes_.restart();  // the mapped rows' runs are taken with them
    } else {
        lineRefs_.mapPrefix(mapped);
    }
    return replacing;
}

void EventStore::appendLines(const FiledRows& rows) {
    PerKind<std::size_t> next{};
    for (const FiledRows::StoredLine& line : rows.lines) {
        const auto place = static_cast<std::uint32_t>(lineRefs_.size());
        lineRefs_.append(line.ref);
        if (line.row) {
            rows_[*line.row].push_back(rows.rows[*line.row][next[*line.row]++], place, line.type);
        }
        for (const RowKind kind : kRowKinds) {
            isRowOf_[kind].push_back(line.row == kind);
        }
    }
}

}  // namespace korvantis
