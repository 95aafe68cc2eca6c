#include "store/line_batch.h"

#include <array>
#include <cstring>

#include "ingest/stream_reader.h"

namespace korvantis::detail {

namespace {

constexpr std::array<std::string_view, 9> kKnown = {
    "ES_EVENT_TYPE_NOTIFY_EXEC",  "ES_EVENT_TYPE_NOTIFY_FORK",   "ES_EVENT_TYPE_NOTIFY_OPEN",
    "ES_EVENT_TYPE_NOTIFY_CLOSE", "ES_EVENT_TYPE_NOTIFY_WRITE",  "ES_EVENT_TYPE_NOTIFY_RENAME",
    "ES_EVENT_TYPE_NOTIFY_LINK",  "ES_EVENT_TYPE_NOTIFY_UNLINK", "ES_EVENT_TYPE_NOTIFY_CREATE",
};
constexpr std::string_view kFileEventError = "Could not build file event from ";

// Index into kKnown, or -1. Compared exactly and case-sensitively.
int knownEvent(std::string_view event) {
    constexpr std::string_view kPrefix = "ES_EVENT_TYPE_NOTIFY_";
    if (event.size() <= kPrefix.size() || event.compare(0, kPrefix.size(), kPrefix) != 0) {
        return -1;
    }
    for (std::size_t i = 0; i < kKnown.size(); ++i) {
        if (event == kKnown[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TextRef sideText(std::string_view text, LineBatch& batch) {
    TextRef ref{batch.side.size(), text.size()};
    batch.side.append(text);
    return ref;
}

}  // namespace

void LineBatch::cutLines() {
    lines.clear();
    const char* const base = text.data();
    std::size_t at = 0;
    while (at < linesEnd) {
        const void* feed = std::memchr(base + at, '\n', linesEnd - at);
        const std::size_t end =
            feed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(feed) - base)
                            : linesEnd;
        LineInfo& info = lines.emplace_back();
        info.fileOffset = fileOffset + at;
        info.offset = at;
        info.length = end - at;
        at = end + 1;
    }
}

const std::string_view* knownEventNames() {
    return kKnown.data();
}

void describeRecord(const std::optional<ReceivedJsonView>& record, LineInfo& info,
                    LineBatch& batch) {
    if (!record) {
        info.kind = LineKind::refused;
        return;
    }
    info.kind = LineKind::other;
    const int event = record->storedOnly ? -1 : knownEvent(record->event);
    if (event >= 0) {
        info.event = static_cast<std::uint8_t>(event);
        if (event < 2) {
            if (record->process) {
                info.kind = LineKind::process;
                info.pid = record->process->pid;
                info.ppid = record->process->ppid;
                if (record->process->path) {
                    info.path = sideText(*record->process->path, batch);
                }
                info.timestamp = sideText(record->timestamp, batch);
            }
        } else if (record->file) {
            info.kind = LineKind::file;
            info.pid = record->file->pid;
            info.path = sideText(record->file->destination, batch);
            info.timestamp = sideText(record->timestamp, batch);
        } else {
            info.kind = LineKind::fileWithoutFile;
            info.error = sideText(kFileEventError, batch);
            const std::string text = recordText(*record);
            batch.side.append(text);
            info.error.length += text.size();
        }
    }
}

void describeInvalid(LineInfo& info, LineBatch& batch) {
    info.kind = LineKind::invalidUtf8;
    info.error = sideText(StreamReader::toValidUtf8(batch.lineText(info)), batch);
}

}  // namespace korvantis::detail
