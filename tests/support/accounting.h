#pragma once

// The line accounting check: after a log has been loaded into an EventKeeper,
// every line of the file must have become exactly one of a process preview, a
// file preview, a line kept only in jsonMapping, or a load error. The check
// classifies each line itself and compares the store with that, list by list
// and text by text, so a lost, doubled or misfiled line is named precisely.
//
// Header-only, so the fuzz targets can use it as well as the tests.

#include <cstddef>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "ingest/received_json.h"
#include "ingest/stream_reader.h"
#include "store/event_keeper.h"

namespace korvantis::testsupport {

// The lines of a file as the reader cuts them: split on "\n", with no empty
// line after a final "\n" (and none at all in an empty file).
inline std::vector<std::string_view> splitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Sizes of the store's lists at one moment, so that a load can be accounted
// for on a store that already holds earlier loads.
struct StoreSizes {
    std::size_t procPreviews = 0;
    std::size_t filePreviews = 0;
    std::size_t nodes = 0;
    std::size_t mapping = 0;
    std::size_t loadErrors = 0;
};

inline StoreSizes storeSizes(const EventKeeper& keeper) {
    return {keeper.procPreviews().size(), keeper.filePreviews().size(), keeper.nodes().size(),
            keeper.jsonMapping().size(), keeper.loadErrors().size()};
}

// What the lines of one file should have become.
struct LineAccount {
    std::size_t lines = 0;
    std::size_t procPreviews = 0;
    std::size_t filePreviews = 0;
    std::size_t mappingOnly = 0;      // decoded, no preview (file events without file among them)
    std::size_t refused = 0;          // not decodable or not valid UTF-8
    std::size_t fileWithoutFile = 0;  // monitored file event without file: mapping + load error
};

namespace detail {

enum class Fate { procPreview, filePreview, mappingOnly, fileWithoutFile, refused };

inline bool isProcessEvent(std::string_view event) {
    return event == "ES_EVENT_TYPE_NOTIFY_EXEC" || event == "ES_EVENT_TYPE_NOTIFY_FORK";
}

inline bool isMonitoredFileEvent(std::string_view event) {
    for (std::string_view name : EventKeeper::monitoredFileEvents()) {
        if (event == name) {
            return true;
        }
    }
    return false;
}

// A short printable excerpt of a line for failure messages.
inline std::string excerpt(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 80)) {
        const auto u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7f) ? c : '?';
    }
    if (text.size() > 80) {
        out += "...(" + std::to_string(text.size()) + " bytes)";
    }
    return out;
}

}  // namespace detail

// Checks that `keeper`, which held `before` before one load of a file with
// content `bytes`, filed every line of it exactly once and in file order.
// Returns an empty string when all is well, otherwise what went wrong.
// `account`, when given, receives the expected figures.
inline std::string checkAccounting(std::string_view bytes, const EventKeeper& keeper,
                                   const StoreSizes& before = {}, LineAccount* account = nullptr) {
    using detail::Fate;
    const std::vector<std::string_view> lines = splitLines(bytes);
    std::ostringstream problem;

    LineAccount want;
    want.lines = lines.size();
    // Walk the file and the store's lists side by side.
    std::size_t proc = before.procPreviews;
    std::size_t file = before.filePreviews;
    std::size_t mapped = before.mapping;
    std::size_t error = before.loadErrors;
    const auto& procs = keeper.procPreviews();
    const auto& files = keeper.filePreviews();
    const auto& mapping = keeper.jsonMapping();
    const auto& errors = keeper.loadErrors();
    const auto& nodes = keeper.nodes();

    auto failAt = [&](std::size_t index, std::string_view line, const std::string& what) {
        problem << "line " << (index + 1) << " [" << detail::excerpt(line) << "]: " << what;
        return problem.str();
    };
    auto nextError = [&](std::size_t index, std::string_view line,
                         const std::string& expected) -> std::optional<std::string> {
        if (error >= errors.size()) {
            return failAt(index, line, "expected a load error, the list has ended");
        }
        if (errors[error] != expected) {
            return failAt(index, line,
                          "load error " + std::to_string(error) + " is [" +
                              detail::excerpt(errors[error]) + "], expected [" +
                              detail::excerpt(expected) + "]");
        }
        ++error;
        return std::nullopt;
    };
    auto nextMapping = [&](std::size_t index, std::string_view line,
                           std::optional<Uuid>& id) -> std::optional<std::string> {
        if (mapped >= mapping.size()) {
            return failAt(index, line, "expected a jsonMapping entry, the map has ended");
        }
        const auto& entry = mapping.entry(mapped);
        if (entry.text != line) {
            return failAt(index, line,
                          "jsonMapping entry " + std::to_string(mapped) + " holds [" +
                              detail::excerpt(entry.text) + "]");
        }
        const auto found = mapping.find(entry.id);
        if (!found || found->data() != entry.text.data()) {
            return failAt(index, line, "jsonMapping cannot find its own entry by id");
        }
        id = entry.id;
        ++mapped;
        return std::nullopt;
    };

    LineDecoder decoder;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (!StreamReader::isValidUtf8(line)) {
            ++want.refused;
            if (auto bad = nextError(i, line, StreamReader::toValidUtf8(line))) {
                return *bad;
            }
            continue;
        }
        const std::optional<ReceivedJsonView> record = decoder.decode(line);
        if (!record) {
            ++want.refused;
            if (auto bad = nextError(i, line, std::string(line))) {
                return *bad;
            }
            continue;
        }
        std::optional<Uuid> id;
        if (auto bad = nextMapping(i, line, id)) {
            return *bad;
        }
        if (detail::isProcessEvent(record->event) && record->process) {
            ++want.procPreviews;
            if (proc >= procs.size() || proc >= nodes.size()) {
                return failAt(i, line, "expected a process preview and node, the list has ended");
            }
            const ProcPreviewEntry& p = procs[proc];
            const Node& n = nodes[proc];
            if (p.id != *id || n.uid != *id) {
                return failAt(i, line, "process preview or node id differs from its mapping id");
            }
            if (p.pid != record->process->pid || p.ppid != record->process->ppid ||
                p.path != record->process->path.value_or("") || p.type != record->event ||
                p.timestamp != record->timestamp || n.pid != p.pid || n.ppid != p.ppid ||
                n.path != p.path) {
                return failAt(i, line, "process preview or node fields differ from the record");
            }
            ++proc;
        } else if (detail::isMonitoredFileEvent(record->event)) {
            if (record->file) {
                ++want.filePreviews;
                if (file >= files.size()) {
                    return failAt(i, line, "expected a file preview, the list has ended");
                }
                const FilePreviewEntry& f = files[file];
                if (f.id != *id) {
                    return failAt(i, line, "file preview id differs from its mapping id");
                }
                if (f.pid != record->file->pid || f.path != record->file->destination ||
                    f.type != record->event || f.timestamp != record->timestamp) {
                    return failAt(i, line, "file preview fields differ from the record");
                }
                ++file;
            } else {
                ++want.mappingOnly;
                ++want.fileWithoutFile;
                if (auto bad = nextError(
                        i, line, "Could not build file event from " + recordText(*record))) {
                    return *bad;
                }
            }
        } else {
            ++want.mappingOnly;
        }
    }
    if (account) {
        *account = want;
    }

    // Nothing more than the lines may have been added.
    auto extra = [&](const char* list, std::size_t reached, std::size_t size) {
        problem << list << " holds " << (size - reached) << " entries more than the "
                << lines.size() << " lines account for";
        return problem.str();
    };
    if (proc != procs.size()) {
        return extra("procPreviews", proc, procs.size());
    }
    if (proc != nodes.size()) {
        return extra("nodes", proc, nodes.size());
    }
    if (file != files.size()) {
        return extra("filePreviews", file, files.size());
    }
    if (mapped != mapping.size()) {
        return extra("jsonMapping", mapped, mapping.size());
    }
    if (error != errors.size()) {
        return extra("loadErrors", error, errors.size());
    }

    // The sums, as the store's own figures give them.
    const std::size_t dProc = procs.size() - before.procPreviews;
    const std::size_t dFile = files.size() - before.filePreviews;
    const std::size_t dMapping = mapping.size() - before.mapping;
    const std::size_t dErrors = errors.size() - before.loadErrors;
    const std::size_t mappingOnly = dMapping - dProc - dFile;
    const std::size_t refused = dErrors - want.fileWithoutFile;
    if (dProc + dFile + mappingOnly + refused != lines.size()) {
        problem << "procPreviews " << dProc << " + filePreviews " << dFile << " + mapping-only "
                << mappingOnly << " + refused " << refused << " != " << lines.size() << " lines";
        return problem.str();
    }
    const auto& stats = keeper.lastLoadStats();
    if (stats.opened && stats.lines != lines.size()) {
        problem << "the load reports " << stats.lines << " lines, the file has " << lines.size();
        return problem.str();
    }
    return {};
}

}  // namespace korvantis::testsupport
