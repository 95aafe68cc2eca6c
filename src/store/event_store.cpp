#include "store/event_store.h"

#include <algorithm>

#include "store/line_batch.h"

namespace korvantis {

EventStore::EventStore(StoreObservers& observers)
    : observers_(observers), logFiles_(std::make_shared<LogFiles>()) {}

const std::array<std::string_view, 7>& EventStore::monitoredFileEvents() {
    // The names that filing sorts by are decided once, with the process
    // events; the monitored ones follow those two.
    static const std::array<std::string_view, 7> names = [] {
        std::array<std::string_view, 7> a;
        std::copy_n(detail::knownEventNames() + 2, a.size(), a.begin());
        return a;
    }();
    return names;
}

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

std::optional<std::string> EventStore::lineText(std::size_t entry) const {
    return logFiles_->read(jsonMapping_.ref(entry));
}

std::uint32_t EventStore::addLog(int fd, std::string path, std::shared_ptr<const LogText> text) {
    observers_.announce(StoreField::loadedLogs);
    return logFiles_->add(fd, std::move(path), std::move(text));
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
    std::size_t proc = 0;
    std::size_t file = 0;
    for (std::size_t i = 0; i < rows.lines.size(); ++i) {
        const FiledRows::StoredLine& line = rows.lines[i];
        const auto entry = static_cast<std::uint32_t>(jsonMapping_.size());
        jsonMapping_.append(line.ref);
        if (line.kind == Kind::process) {
            procPreviews_.push_back(rows.procPreviews[proc++], entry, line.type);
        } else if (line.kind == Kind::file) {
            filePreviews_.push_back(rows.filePreviews[file++], entry, line.type);
        }
        isProcEntry_.push_back(line.kind == Kind::process);
        isFileEntry_.push_back(line.kind == Kind::file);
    }
    rows.clear();
}

}  // namespace korvantis
