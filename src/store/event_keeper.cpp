#include "store/event_keeper.h"

#include <utility>

#include "ingest/received_json.h"
#include "ingest/stream_reader.h"

namespace korvantis {

namespace {

constexpr std::string_view kExec = "ES_EVENT_TYPE_NOTIFY_EXEC";
constexpr std::string_view kFork = "ES_EVENT_TYPE_NOTIFY_FORK";
constexpr std::array<std::string_view, 7> kMonitored = {
    "ES_EVENT_TYPE_NOTIFY_OPEN",   "ES_EVENT_TYPE_NOTIFY_CLOSE", "ES_EVENT_TYPE_NOTIFY_WRITE",
    "ES_EVENT_TYPE_NOTIFY_RENAME", "ES_EVENT_TYPE_NOTIFY_LINK",  "ES_EVENT_TYPE_NOTIFY_UNLINK",
    "ES_EVENT_TYPE_NOTIFY_CREATE",
};
constexpr std::string_view kFileEventError = "Could not build file event from ";

enum class Kind { process, file, other };

// Sorts an event name, compared exactly. Known names come back as the
// program's own copy of the text, so previews need not store it again.
Kind classify(std::string_view event, std::string_view& known) {
    constexpr std::string_view kPrefix = "ES_EVENT_TYPE_NOTIFY_";
    if (event.size() <= kPrefix.size() || event.substr(0, kPrefix.size()) != kPrefix) {
        return Kind::other;
    }
    if (event == kExec) {
        known = kExec;
        return Kind::process;
    }
    if (event == kFork) {
        known = kFork;
        return Kind::process;
    }
    for (std::string_view name : kMonitored) {
        if (event == name) {
            known = name;
            return Kind::file;
        }
    }
    return Kind::other;
}

}  // namespace

EventKeeper::EventKeeper(Executor executor)
    : executor_(std::move(executor)), decoder_(std::make_unique<LineDecoder>()) {}

EventKeeper::~EventKeeper() = default;

const std::array<std::string_view, 7>& EventKeeper::monitoredFileEvents() {
    return kMonitored;
}

EventKeeper::ObserverId EventKeeper::observe(Observer observer) {
    const ObserverId id = nextObserverId_++;
    observers_.emplace_back(id, std::move(observer));
    return id;
}

void EventKeeper::unobserve(ObserverId id) {
    for (auto it = observers_.begin(); it != observers_.end(); ++it) {
        if (it->first == id) {
            observers_.erase(it);
            return;
        }
    }
}

void EventKeeper::announce(StoreField field) {
    if (observers_.empty()) {
        return;
    }
    // A copy, so an observer may add or remove observers while being told.
    const auto observers = observers_;
    for (const auto& entry : observers) {
        entry.second(field);
    }
}

void EventKeeper::setShowErrors(bool value) {
    announce(StoreField::showErrors);
    showErrors_ = value;
}

void EventKeeper::setShowLegend(bool value) {
    announce(StoreField::showLegend);
    showLegend_ = value;
}

void EventKeeper::loadJsonFile(std::string path) {
    executor_([this, path = std::move(path)] { runLoad(path); });
}

void EventKeeper::runLoad(const std::string& path) {
    LoadStats stats;
    auto reader = StreamReader::open(path);
    if (reader) {
        stats.opened = true;
        while (auto line = reader->nextLine()) {
            ++stats.lines;
            stats.bytes += line->text.size() + 1;
            if (line->valid) {
                ingestJsonLine(line->text);
            } else {
                ingestInvalidLine(line->text);
            }
        }
        reader->close();
    }
    buildProcessTree();
    lastLoad_ = stats;
}

void EventKeeper::ingestJsonLine(std::string_view line) {
    ingestStored(lines_.store(line, LineDecoder::kPadding));
}

void EventKeeper::ingestInvalidLine(std::string_view bytes) {
    announce(StoreField::loadErrors);
    loadErrors_.push_back(StreamReader::toValidUtf8(bytes));
}

void EventKeeper::ingestStored(std::string_view stored) {
    const auto record = decoder_->decodePadded(stored.data(), stored.size());
    if (!record) {
        announce(StoreField::loadErrors);
        loadErrors_.emplace_back(stored);
        lines_.unstoreLast(stored);
        return;
    }
    const Uuid id = uuids_.next();
    // A decoded text that occurs in the raw line is kept as a view into it
    // (identical bytes are identical text); one with escapes is copied.
    auto keep = [&](std::string_view text) -> std::string_view {
        const std::size_t at = stored.find(text);
        if (at != std::string_view::npos) {
            return stored.substr(at, text.size());
        }
        return strings_.store(text);
    };
    std::string_view type;
    switch (classify(record->event, type)) {
        case Kind::process:
            if (record->process) {
                const ProcessView& p = *record->process;
                const std::string_view path = p.path ? keep(*p.path) : std::string_view();
                announce(StoreField::procPreviews);
                procPreviews_.push_back(
                    ProcPreviewEntry{id, type, keep(record->timestamp), p.pid, p.ppid, path});
                nodes_.emplace_back(id, std::string(path), p.pid, p.ppid);
            }
            break;
        case Kind::file:
            if (record->file) {
                const FileView& f = *record->file;
                announce(StoreField::filePreviews);
                filePreviews_.push_back(FilePreviewEntry{id, type, keep(record->timestamp), f.pid,
                                                         keep(f.destination)});
            } else {
                std::string message(kFileEventError);
                message += recordText(*record);
                announce(StoreField::loadErrors);
                loadErrors_.push_back(std::move(message));
            }
            break;
        case Kind::other:
            break;
    }
    jsonMapping_.set(id, stored);
}

}  // namespace korvantis
