#include "store/event_store.h"

#include <algorithm>

namespace korvantis {

EventStore::EventStore(StoreObservers& observers)
    : observers_(observers), logFiles_(std::make_shared<LogFiles>()) {}

std::optional<RowIndex> EventStore::procPreviewOf(LinePlace place) const {
    const std::size_t entry = place.value();
    if (entry >= isProcEntry_.size() || !isProcEntry_.test(entry)) {
        return std::nullopt;
    }
    return RowIndex(isProcEntry_.rank(entry));
}

std::optional<RowIndex> EventStore::filePreviewOf(LinePlace place) const {
    const std::size_t entry = place.value();
    if (entry >= isFileEntry_.size() || !isFileEntry_.test(entry)) {
        return std::nullopt;
    }
    return RowIndex(isFileEntry_.rank(entry));
}

std::optional<RowIndex> EventStore::otherPreviewOf(LinePlace place) const {
    const std::size_t entry = place.value();
    if (entry >= isOtherEntry_.size() || !isOtherEntry_.test(entry)) {
        return std::nullopt;
    }
    return RowIndex(isOtherEntry_.rank(entry));
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
    procPreviews_.replaceHits(hits.procRows, hits.procs);
    filePreviews_.replaceHits(hits.fileRows, hits.files);
    otherPreviews_.replaceHits(hits.otherRows, hits.others);
}

void EventStore::append(FiledRows& rows) {
    appendErrorsAndGaps(rows);
    appendLines(rows);
    lifetimes_.catchUp(procPreviews_, otherPreviews_);
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
    if (!rows.procPreviews.empty()) {
        observers_.announce(StoreField::procPreviews);
    }
    if (!rows.filePreviews.empty()) {
        observers_.announce(StoreField::filePreviews);
    }
    if (!rows.otherPreviews.empty()) {
        observers_.announce(StoreField::otherPreviews);
    }
    if (!rows.sequenceGaps.empty()) {
        observers_.announce(StoreField::sequenceGaps);
        sequenceGaps_.insert(sequenceGaps_.end(), rows.sequenceGaps.begin(),
                             rows.sequenceGaps.end());
    }
}

void EventStore::appendLines(const FiledRows& rows) {
    using Kind = FiledRows::StoredLine::Kind;
    std::size_t proc = 0;
    std::size_t file = 0;
    std::size_t other = 0;
    for (std::size_t i = 0; i < rows.lines.size(); ++i) {
        const FiledRows::StoredLine& line = rows.lines[i];
        const auto entry = static_cast<std::uint32_t>(lineRefs_.size());
        lineRefs_.append(line.ref);
        if (line.kind == Kind::process) {
            procPreviews_.push_back(rows.procPreviews[proc++], entry, line.type);
        } else if (line.kind == Kind::file) {
            filePreviews_.push_back(rows.filePreviews[file++], entry, line.type);
        } else if (line.kind == Kind::otherRow) {
            otherPreviews_.push_back(rows.otherPreviews[other++], entry, 0);
        }
        isProcEntry_.push_back(line.kind == Kind::process);
        isFileEntry_.push_back(line.kind == Kind::file);
        isOtherEntry_.push_back(line.kind == Kind::otherRow);
    }
}

}  // namespace korvantis
