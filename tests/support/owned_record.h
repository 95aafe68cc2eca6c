#pragma once

// An owning copy of a decoded line, for tests and the fuzzing reference: the
// program itself only ever reads the decoder's views, which die with the next
// decode.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "decode/line_decoder.h"
#include "decode/row_facts.h"

namespace korvantis {

struct Process {
    std::int64_t pid = 0;
    std::int64_t ppid = 0;
    std::optional<std::string> path;
    bool operator==(const Process&) const = default;
};

struct FileOld {
    std::optional<Process> process;
    std::string destination;
    bool operator==(const FileOld&) const = default;
};

struct File {
    std::int64_t pid = 0;
    std::string destination;
    bool operator==(const File&) const = default;
};

struct ReceivedJson {
    std::string event;
    std::string timestamp;
    std::optional<Process> process;
    std::optional<FileOld> fileOld;
    std::optional<File> file;
    bool storedOnly = false;
    // An eslogger row's facts, by Fact; all empty for the viewer's records.
    std::array<std::string, kFactCount> facts{};
    std::optional<Process> other{};
    bool operator==(const ReceivedJson&) const = default;
};

namespace ownedrecord {

inline std::optional<Process> own(const std::optional<ProcessView>& view) {
    using Path = std::optional<std::string>;
    return view ? std::optional<Process>({view->pid, view->ppid, Path(view->path)}) : std::nullopt;
}

inline std::optional<ProcessView> see(const std::optional<Process>& p) {
    return p ? std::optional<ProcessView>({p->pid, p->ppid, p->path}) : std::nullopt;
}

}  // namespace ownedrecord

inline ReceivedJson toOwned(const ReceivedJsonView& view) {
    ReceivedJson r;
    r.event = std::string(view.event);
    r.timestamp = std::string(view.timestamp);
    r.process = ownedrecord::own(view.process);
    if (view.fileOld) {
        r.fileOld = FileOld{ownedrecord::own(view.fileOld->process),
                            std::string(view.fileOld->destination)};
    }
    if (view.file) {
        r.file = File{view.file->pid, std::string(view.file->destination)};
    }
    r.storedOnly = view.storedOnly;
    r.other = ownedrecord::own(view.other);
    const RowFacts facts(view.facts.empty() ? nullptr : view.facts.data());
    for (std::size_t i = 0; i < kFactCount; ++i) {
        r.facts[i] = std::string(facts[static_cast<Fact>(i)]);
    }
    return r;
}

// Decodes one line with a decoder of its own.
inline std::optional<ReceivedJson> decodeReceivedJson(std::string_view line) {
    LineDecoder decoder;
    const std::optional<ReceivedJsonView> view = decoder.decode(line);
    return view ? std::optional<ReceivedJson>(toOwned(*view)) : std::nullopt;
}

// The record's text form, as the program writes it for a view (facts are not
// part of it).
inline std::string recordText(const ReceivedJson& record) {
    ReceivedJsonView view;
    view.event = record.event;
    view.timestamp = record.timestamp;
    view.process = ownedrecord::see(record.process);
    if (record.fileOld) {
        view.fileOld =
            FileOldView{ownedrecord::see(record.fileOld->process), record.fileOld->destination};
    }
    if (record.file) {
        view.file = FileView{record.file->pid, record.file->destination};
    }
    view.storedOnly = record.storedOnly;
    view.other = ownedrecord::see(record.other);
    return recordText(view);
}

}  // namespace korvantis
