#pragma once

// The line accounting check: after a log has been loaded into a store,
// every line of the file must have become exactly one of a process preview, a
// file preview, a line kept only in lineRefs, or a load error. The check
// classifies each line itself and compares the store with that, list by list
// and text by text, so a lost, doubled or misfiled line is named precisely.
//
// Header-only, so the fuzz targets can use it as well as the tests.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decode/utf8_text.h"
#include "input/stream_reader.h"
#include "load/line_batch.h"
#include "load/load_job.h"
#include "support/owned_record.h"
#include "workspace/workspace.h"

namespace korvantis::testsupport {

// The lines of a file as the reader cuts them: split on "\n", with no empty
// line after a final "\n" (and none at all in an empty file).
inline std::vector<std::string_view> splitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0, end = 0; start < bytes.size(); start = end + 1) {
        end = std::min(bytes.find('\n', start), bytes.size());
        lines.push_back(bytes.substr(start, end - start));
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

inline StoreSizes storeSizes(const Workspace& ws) {
    return {ws.store.rows(RowKind::process).size(), ws.store.rows(RowKind::file).size(),
            ws.loader.processTree().nodes().size(), ws.store.lineRefs().size(),
            ws.store.loadErrors().size()};
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

// The file events that make a file preview, written out here rather than read
// from the store under check, so that a name dropped there shows up as a
// misfiled line.
inline constexpr std::string_view kMonitoredFileEvents[] = {
    "ES_EVENT_TYPE_NOTIFY_OPEN",   "ES_EVENT_TYPE_NOTIFY_CLOSE", "ES_EVENT_TYPE_NOTIFY_WRITE",
    "ES_EVENT_TYPE_NOTIFY_RENAME", "ES_EVENT_TYPE_NOTIFY_LINK",  "ES_EVENT_TYPE_NOTIFY_UNLINK",
    "ES_EVENT_TYPE_NOTIFY_CREATE"};

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

// Checks that the store of `ws`, which held `before` before one load of a
// file with content `bytes`, filed every line of it exactly once and in file
// order. `linesRead`, when given, is what the load says it read: only those
// lines are accounted for (a cancelled or cut load).
// Returns an empty string when all is well, otherwise what went wrong.
// `account`, when given, receives the expected figures.
inline std::string checkAccounting(std::string_view bytes, const Workspace& ws,
                                   const StoreSizes& before = {}, LineAccount* account = nullptr,
                                   std::optional<std::size_t> linesRead = std::nullopt) {
    // A byte-order mark where the file begins is not part of its first line.
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    std::vector<std::string_view> lines = splitLines(bytes);
    if (linesRead && *linesRead <= lines.size()) {
        lines.resize(*linesRead);
    }
    const EventStore& store = ws.store;
    const auto& procs = store.rows(RowKind::process);
    const auto& files = store.rows(RowKind::file);
    const auto& mapping = store.lineRefs();
    const auto& errors = store.loadErrors();
    const auto& nodes = ws.loader.processTree().nodes();
    // Walk the file and the store's lists side by side.
    std::size_t proc = before.procPreviews;
    std::size_t file = before.filePreviews;
    std::size_t mapped = before.mapping;
    std::size_t error = before.loadErrors;
    LineAccount want;
    want.lines = lines.size();

    std::size_t index = 0;
    auto fail = [&](const std::string& what) {
        return "line " + std::to_string(index + 1) + " [" + detail::excerpt(lines[index]) +
               "]: " + what;
    };
    // The next load error must be `expected`; returns what is wrong, if
    // anything. Lines past the list's bound are only counted (their place
    // is checked through the line numbers of the rows after them).
    auto nextError = [&](const std::string& expected, bool isLine) -> std::string {
        if (error >= errors.size()) {
            return fail("expected a load error, the list has ended");
        }
        if (error >= errors.listed()) {
            if (!isLine) {
                return fail("a message was not listed");
            }
            ++error;
            return {};
        }
        // Kept by reference: read back from the log, as the error list does.
        const std::string text = store.loadErrorText(error);
        if (text != expected) {
            return fail("load error " + std::to_string(error) + " is [" + detail::excerpt(text) +
                        "], expected [" + detail::excerpt(expected) + "]");
        }
        if (errors.origin(error).line != index + 1) {
            return fail("load error " + std::to_string(error) + " names line " +
                        std::to_string(errors.origin(error).line));
        }
        ++error;
        return {};
    };

    LineDecoder decoder;
    for (; index < lines.size(); ++index) {
        const std::string_view line = lines[index];
        // Too long to keep: skipped unread, its error says how long it was.
        if (line.size() > korvantis::detail::kLongestLine) {
            ++want.refused;
            if (auto bad = nextError(LoadJob::tooLongText(line.size()), false); !bad.empty()) {
                return bad;
            }
            continue;
        }
        const bool valid = isValidUtf8(line);
        const std::optional<ReceivedJsonView> record = valid ? decoder.decode(line) : std::nullopt;
        if (!record) {
            ++want.refused;
            if (auto bad = nextError(valid ? std::string(line) : toValidUtf8(line), true);
                !bad.empty()) {
                return bad;
            }
            continue;
        }
        if (mapped >= mapping.size()) {
            return fail("expected a lineRefs entry, the map has ended");
        }
        const LinePlace place(mapped++);
        const std::optional<std::string> text = store.lineText(LinePlace(mapped - 1));
        // Each look walks the load errors: a sample of lines is enough.
        if ((mapped < 100 || mapped % 4999 == 0) &&
            store.lineNumberOf(LinePlace(mapped - 1)).value() != index + 1) {
            return fail("lineRefs entry " + std::to_string(mapped - 1) + " is on line " +
                        std::to_string(store.lineNumberOf(LinePlace(mapped - 1)).value()));
        }
        if (text != line) {
            return fail("lineRefs entry " + std::to_string(mapped - 1) + " reads [" +
                        detail::excerpt(text.value_or("(nothing)")) + "]");
        }
        const bool isProcess = record->event == "ES_EVENT_TYPE_NOTIFY_EXEC" ||
                               record->event == "ES_EVENT_TYPE_NOTIFY_FORK";
        if (isProcess && record->process) {
            ++want.procPreviews;
            if (proc >= procs.size() || proc >= nodes.size()) {
                return fail("expected a process preview and node, the list has ended");
            }
            const RowView p = procs[proc];
            const LinePlace at = procs.placeOf(proc);
            const Node& n = nodes[proc++];
            if (at != place || p.pid != record->process->pid || p.ppid != record->process->ppid ||
                p.path != record->process->path.value_or("") || p.type != record->event ||
                p.timestamp != record->timestamp || n.pid != p.pid || n.ppid != p.ppid ||
                n.path != p.path) {
                return fail("process preview or node place or fields differ from the record");
            }
        } else if (record->storedOnly ||
                   std::find(std::begin(detail::kMonitoredFileEvents),
                             std::end(detail::kMonitoredFileEvents),
                             record->event) == std::end(detail::kMonitoredFileEvents)) {
            ++want.mappingOnly;
        } else if (record->file) {
            ++want.filePreviews;
            if (file >= files.size()) {
                return fail("expected a file preview, the list has ended");
            }
            const LinePlace at = files.placeOf(file);
            const RowView f = files[file++];
            if (at != place || f.pid != record->file->pid || f.path != record->file->destination ||
                f.type != record->event || f.timestamp != record->timestamp) {
                return fail("file preview place or fields differ from the record");
            }
        } else {
            ++want.mappingOnly;
            ++want.fileWithoutFile;
            if (auto bad =
                    nextError("Could not build file event from " + recordText(*record), false);
                !bad.empty()) {
                return bad;
            }
        }
    }
    if (account) {
        *account = want;
    }

    // Nothing more than the lines may have been added.
    const std::pair<const char*, std::pair<std::size_t, std::size_t>> reached[] = {
        {"procPreviews", {proc, procs.size()}},
        {"nodes", {proc, nodes.size()}},
        {"filePreviews", {file, files.size()}},
        {"lineRefs", {mapped, mapping.size()}},
        {"loadErrors", {error, errors.size()}}};
    for (const auto& [list, at] : reached) {
        if (at.first != at.second) {
            return std::string(list) + " holds " + std::to_string(at.second - at.first) +
                   " entries more than the " + std::to_string(lines.size()) + " lines account for";
        }
    }
    const auto& outcomes = ws.loader.outcomes();
    if (!outcomes.empty() && outcomes.back().opened &&
        outcomes.back().figures.lines != lines.size()) {
        return "the load reports " + std::to_string(outcomes.back().figures.lines) +
               " lines, the file has " + std::to_string(lines.size());
    }
    return {};
}

}  // namespace korvantis::testsupport
