#include "load/line_batch.h"

#include <array>

#include "decode/event_kinds.h"

namespace korvantis::detail {

namespace {

constexpr std::string_view kFileEventError = "Could not build file event from ";

TextRef sideText(std::string_view text, LineBatch& batch) {
    TextRef ref{batch.side.size(), text.size()};
    batch.side.append(text);
    return ref;
}

}  // namespace

void LineBatch::cutLines() {
    lines.clear();
    if (skipped != 0) {
        LineInfo& info = lines.emplace_back();
        info.fileOffset = fileOffset;
        info.kind = LineKind::tooLong;
        return;
    }
    lines.reserve(lineFeeds.size() + 1);
    std::size_t at = 0;
    auto add = [&](std::size_t end) {
        LineInfo& info = lines.emplace_back();
        info.fileOffset = fileOffset + at;
        info.offset = at;
        info.length = end - at;
        at = end + 1;
    };
    for (const std::size_t feed : lineFeeds) {
        add(feed);
    }
    if (at < linesEnd) {
        add(linesEnd);
    }
}

void describeRecord(const std::optional<ReceivedJsonView>& record, LineInfo& info,
                    LineBatch& batch) {
    if (!record) {
        info.kind = LineKind::refused;
        return;
    }
    info.kind = LineKind::storedOnly;
    if (record->storedOnly && record->other) {
        info.kind = LineKind::otherRow;
        info.pid = record->other->pid;
        info.ppid = record->other->ppid;
        info.path = sideText(record->other->path.value_or(std::string_view{}), batch);
        info.type = sideText(record->event, batch);
        info.timestamp = sideText(record->timestamp, batch);
        info.facts = sideText(record->facts, batch);
        return;
    }
    const int event = record->storedOnly ? -1 : eventKindNamed(record->event);
    if (event < 0 && !record->storedOnly && record->process) {
        // One of the viewer's own records of a kind no panel lists: an other
        // row of its process, as eslogger's other kinds are, without facts.
        info.kind = LineKind::otherRow;
        info.pid = record->process->pid;
        info.ppid = record->process->ppid;
        info.path = sideText(record->process->path.value_or(std::string_view{}), batch);
        info.type = sideText(record->event, batch);
        info.timestamp = sideText(record->timestamp, batch);
        return;
    }
    if (event >= 0) {
        info.event = static_cast<std::uint8_t>(event);
        if (isProcessKind(static_cast<EventKind>(event))) {
            if (record->process) {
                info.kind = LineKind::process;
                info.pid = record->process->pid;
                info.ppid = record->process->ppid;
                if (record->process->path) {
                    info.path = sideText(*record->process->path, batch);
                }
                info.timestamp = sideText(record->timestamp, batch);
                info.facts = sideText(record->facts, batch);
            }
        } else if (record->file) {
            info.kind = LineKind::file;
            info.pid = record->file->pid;
            info.path = sideText(record->file->destination, batch);
            info.timestamp = sideText(record->timestamp, batch);
            info.facts = sideText(record->facts, batch);
        } else {
            info.kind = LineKind::fileWithoutFile;
            info.error = sideText(kFileEventError, batch);
            const std::string text = recordText(*record);
            batch.side.append(text);
            info.error.length += text.size();
        }
    }
}

void describeTime(LineInfo& info, const LineBatch& batch) {
    info.time = parseTimeValue(batch.resolve(info.timestamp)).value_or(kNoTimeValue);
}

void describeInvalid(LineInfo& info) {
    info.kind = LineKind::invalidUtf8;
}

}  // namespace korvantis::detail
