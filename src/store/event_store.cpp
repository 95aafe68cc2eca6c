#include "store/event_store.h"

#include <algorithm>

namespace korvantis {

EventStore::EventStore(StoreObservers& observers)
    : observers_(observers), logFiles_(std::make_shared<LogFiles>()) {}

std::optional<std::size_t> EventStore::procPreviewOf(std::size_t entry) const {
    if (entry >= isProcEntry_.size() || !isProcEntry_.test(entry)) {
        return std::nullopt;
    }
    return isProcEntry_.rank(entry);
}

std::optional<std::size_t> EventStore::filePreviewOf(std::size_t entry) const {
    if (entry >= isFileEntry_.size() || !isFileEntry_.test(entry)) {
        return std::nullopt;
    }
    return isFileEntry_.rank(entry);
}

std::optional<std::size_t> EventStore::otherPreviewOf(std::size_t entry) const {
    if (entry >= isOtherEntry_.size() || !isOtherEntry_.test(entry)) {
        return std::nullopt;
    }
    return isOtherEntry_.rank(entry);
}

std::optional<std::string> EventStore::lineText(std::size_t entry) const {
    return logFiles_->read(jsonMapping_.ref(entry));
}

std::uint32_t EventStore::addLog(int fd, std::string path) {
    observers_.announce(StoreField::loadedLogs);
    return logFiles_->add(fd, std::move(path));
}

void EventStore::addTextError(std::string text) {
    observers_.announce(StoreField::loadErrors);
    loadErrors_.push_back(std::move(text));
    loadErrorOrigins_.push_back(LoadErrorOrigin{LoadErrorOrigin::kNoLog, 0});
}

void EventStore::append(FiledRows& rows) {
    using Kind = FiledRows::StoredLine::Kind;
    // One announcement per list and batch: the rows of a batch appear
    // together.
    if (!rows.loadErrors.empty()) {
        observers_.announce(StoreField::loadErrors);
        for (std::size_t i = 0; i < rows.loadErrors.size(); ++i) {
            loadErrors_.push_back(std::move(rows.loadErrors[i]));
            loadErrorOrigins_.push_back(rows.loadErrorOrigins[i]);
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
    std::size_t proc = 0;
    std::size_t file = 0;
    std::size_t other = 0;
    for (std::size_t i = 0; i < rows.lines.size(); ++i) {
        const FiledRows::StoredLine& line = rows.lines[i];
        const auto entry = static_cast<std::uint32_t>(jsonMapping_.size());
        jsonMapping_.append(line.ref);
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
    rows.clear();
}

}  // namespace korvantis
