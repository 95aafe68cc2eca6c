// The session file: reading it with every member checked, and writing it
// so that the old file is never lost.

#include "investigation/session_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <simdjson.h>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>

#include "decode/json_text.h"
#include "decode/utf8_text.h"
#include "input/full_io.h"
#include "investigation/line_numbers.h"
#include "output/file_replacement.h"

namespace korvantis {

namespace {

constexpr std::string_view kFormatName = "korvantis-session";
constexpr std::int64_t kVersion = 1;
constexpr std::size_t kMaxLogs = 10'000;
constexpr std::size_t kMaxMarks = 10'000'000;
constexpr std::size_t kMaxTagsPerMark = 1'000;
constexpr std::uint64_t kMaxLine = std::uint64_t{1} << 53;

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

// The first key given twice in `value` or in anything within it, with where.
bool findDuplicateKey(const element& value, std::string& where) {
    if (value.type() == element_type::ARRAY) {
        std::size_t i = 0;
        for (const element item : array(value)) {
            if (findDuplicateKey(item, where)) {
                where = "[" + std::to_string(i) + "]" + where;
                return true;
            }
            ++i;
        }
    } else if (value.type() == element_type::OBJECT) {
        // Most objects are a mark's few members: compared pairwise, with
        // nothing allocated; large ones sorted.
        const object members(value);
        std::optional<std::string_view> twice;
        if (members.size() <= 16) {
            for (auto a = members.begin(); a != members.end() && !twice; ++a) {
                auto b = a;
                for (++b; b != members.end(); ++b) {
                    if ((*a).key == (*b).key) {
                        twice = (*a).key;
                        break;
                    }
                }
            }
        } else {
            std::vector<std::string_view> sorted;
            for (const auto field : members) {
                sorted.push_back(field.key);
            }
            std::sort(sorted.begin(), sorted.end());
            const auto at = std::adjacent_find(sorted.begin(), sorted.end());
            if (at != sorted.end()) {
                twice = *at;
            }
        }
        if (twice) {
            where = "." + std::string(*twice) + " (given twice)";
            return true;
        }
        for (const auto field : object(value)) {
            if (findDuplicateKey(field.value, where)) {
                where = "." + std::string(field.key) + where;
                return true;
            }
        }
    }
    return false;
}

// Reads members, each failure naming the member by where it lies.
class SessionReader {
  public:
    explicit SessionReader(std::string folder) : folder_(std::move(folder)) {}

    std::string error;

    bool read(const element& root, Session& session) {
        if (root.type() != element_type::OBJECT) {
            return fail("", "is not a JSON object");
        }
        const object top(root);
        std::string_view format;
        if (top["format"].get(format) != simdjson::SUCCESS || format != kFormatName) {
            return fail("format", "is not \"" + std::string(kFormatName) + "\"");
        }
        std::int64_t version = 0;
        if (top["version"].get(version) != simdjson::SUCCESS || version < 1) {
            return fail("version", "is not a version number");
        }
        if (version > kVersion) {
            return fail("version", std::to_string(version) +
                                       ": written by a newer version of Korvantis, which this "
                                       "one cannot read");
        }
        element logs;
        if (top["logs"].get(logs) == simdjson::SUCCESS && !readLogs(logs, session)) {
            return false;
        }
        element marks;
        if (top["marks"].get(marks) == simdjson::SUCCESS && !readMarks(marks, session)) {
            return false;
        }
        element view;
        if (top["view"].get(view) == simdjson::SUCCESS) {
            if (view.type() != element_type::OBJECT) {
                return fail("view", "is not an object");
            }
            session.view = simdjson::minify(view);
        }
        return true;
    }

  private:
    std::string folder_;

    bool fail(const std::string& where, const std::string& what) {
        error = (where.empty() ? "the file" : where) + " " + what;
        return false;
    }

    // A log's path as written: relative to the session's folder or
    // absolute, with no empty, "." or ".." parts, so that it cannot
    // climb out of the folder it is relative to.
    bool readPath(const element& value, const std::string& where, std::string& path) {
        std::string_view text;
        if (value.get(text) != simdjson::SUCCESS) {
            return fail(where, "is not a string");
        }
        if (text.empty() || text.size() > 4096 || text.find('\0') != std::string_view::npos) {
            return fail(where, "is not a log path");
        }
        std::string_view rest = text.front() == '/' ? text.substr(1) : text;
        while (true) {
            const std::size_t slash = rest.find('/');
            const std::string_view part = rest.substr(0, slash);
            if (part.empty() || part == "." || part == "..") {
                return fail(where, "\"" + std::string(text) +
                                       "\" is not a plain path (it has an empty, \".\" or "
                                       "\"..\" part)");
            }
            if (slash == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(slash + 1);
        }
        path = text.front() == '/' ? std::string(text) : folder_ + "/" + std::string(text);
        return true;
    }

    bool readLogs(const element& value, Session& session) {
        array logs;
        if (value.get(logs) != simdjson::SUCCESS) {
            return fail("logs", "is not an array");
        }
        if (logs.size() > kMaxLogs) {
            return fail("logs", "names more than " + std::to_string(kMaxLogs) + " logs");
        }
        std::size_t i = 0;
        for (const element log : logs) {
            std::string path;
            if (!readPath(log, "logs[" + std::to_string(i++) + "]", path)) {
                return false;
            }
            session.logs.push_back(std::move(path));
        }
        return true;
    }

    bool readMarks(const element& value, Session& session) {
        array logs;
        if (value.get(logs) != simdjson::SUCCESS) {
            return fail("marks", "is not an array");
        }
        if (logs.size() > kMaxLogs) {
            return fail("marks",
                        "holds the marks of more than " + std::to_string(kMaxLogs) + " logs");
        }
        std::size_t total = 0;
        std::size_t i = 0;
        for (const element log : logs) {
            const std::string where = "marks[" + std::to_string(i++) + "]";
            object entry;
            if (log.get(entry) != simdjson::SUCCESS) {
                return fail(where, "is not an object");
            }
            element pathValue;
            std::string path;
            if (entry["log"].get(pathValue) != simdjson::SUCCESS) {
                return fail(where + ".log", "is missing");
            }
            if (!readPath(pathValue, where + ".log", path)) {
                return false;
            }
            if (session.marks.find(path) != nullptr) {
                return fail(where + ".log", "names a log already named before");
            }
            array lines;
            if (entry["lines"].get(lines) != simdjson::SUCCESS) {
                return fail(where + ".lines", "is not an array");
            }
            total += lines.size();
            if (total > kMaxMarks) {
                return fail("marks", "holds more than " + std::to_string(kMaxMarks) + " marks");
            }
            LogMarks& marks = session.marks.marksOf(path);
            marks.reserve(lines.size());
            std::size_t j = 0;
            for (const element line : lines) {
                // Named only when something is wrong with it.
                const auto lineWhere = [&] { return where + ".lines[" + std::to_string(j) + "]"; };
                if (!readMark(line, lineWhere, marks)) {
                    return false;
                }
                ++j;
            }
        }
        return true;
    }

    template <typename Where>
    bool readMark(const element& value, const Where& where, LogMarks& marks) {
        object mark;
        if (value.get(mark) != simdjson::SUCCESS) {
            return fail(where(), "is not an object");
        }
        MarkPlace place;
        std::int64_t line = 0;
        if (mark["line"].get(line) != simdjson::SUCCESS || line < 1 ||
            static_cast<std::uint64_t>(line) > kMaxLine) {
            return fail(where() + ".line", "is not a line number");
        }
        place.line = static_cast<std::uint64_t>(line);
        std::string_view checksum;
        if (mark["checksum"].get(checksum) != simdjson::SUCCESS || checksum.size() != 16 ||
            std::from_chars(checksum.data(), checksum.data() + 16, place.checksum, 16).ptr !=
                checksum.data() + 16) {
            return fail(where() + ".checksum", "is not 16 hexadecimal digits");
        }
        MarkText text;
        element tags;
        if (mark["tags"].get(tags) == simdjson::SUCCESS) {
            array list;
            if (tags.get(list) != simdjson::SUCCESS) {
                return fail(where() + ".tags", "is not an array");
            }
            if (list.size() > kMaxTagsPerMark) {
                return fail(where() + ".tags",
                            "holds more than " + std::to_string(kMaxTagsPerMark) + " tags");
            }
            for (const element tag : list) {
                std::string_view word;
                if (tag.get(word) != simdjson::SUCCESS || !isTagWord(word)) {
                    return fail(where() + ".tags",
                                "holds something other than a tag word (1 to 64 of "
                                "A-Z a-z 0-9 _ . : -)");
                }
                text.addTag(lowerTag(word));
            }
        }
        element note;
        if (mark["note"].get(note) == simdjson::SUCCESS) {
            std::string_view noteText;
            if (note.get(noteText) != simdjson::SUCCESS) {
                return fail(where() + ".note", "is not a string");
            }
            if (noteText.size() > kMaxNoteBytes) {
                return fail(where() + ".note", "is longer than 64 KiB");
            }
            text.note = noteText;
        }
        if (!marks.emplace(place, std::move(text)).second) {
            return fail(where(), "marks a line already marked before");
        }
        return true;
    }
};

// Appends one mark's object. Marks are written by the hundred thousand:
// straight into the text, with no number or string made on the way.
void appendMark(std::string& out, const MarkPlace& place, const MarkText& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "{\"line\":";
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, place.line).ptr);
    out += ",\"checksum\":\"";
    for (int shift = 60; shift >= 0; shift -= 4) {
        out.push_back(kHex[(place.checksum >> shift) & 0xf]);
    }
    out += "\",\"tags\":[";
    std::string_view tags = text.tags;
    while (!tags.empty()) {
        const std::size_t comma = tags.find(',');
        appendJsonString(out, tags.substr(0, comma), false);
        tags.remove_prefix(comma == std::string_view::npos ? tags.size() : comma + 1);
        if (!tags.empty()) {
            out.push_back(',');
        }
    }
    out += "],\"note\":";
    if (isValidUtf8(text.note)) {
        appendJsonString(out, text.note, false);
    } else {
        appendJsonString(out, toValidUtf8(text.note), false);
    }
    out.push_back('}');
}

// About the length of the session's text, so that it is made in one piece.
std::size_t textLengthOf(const Session& session) {
    std::size_t length = 256 + session.view.size();
    for (const std::string& log : session.logs) {
        length += log.size() + 3;
    }
    for (const auto& [path, marks] : session.marks.logs()) {
        length += path.size() + 32;
        for (const auto& [place, text] : marks) {
            length += 80 + text.tags.size() + text.note.size() + text.note.size() / 8;
        }
    }
    return length;
}

}  // namespace

namespace {

SessionRead parsePadded(const simdjson::padded_string& padded, const std::string& folder) {
    SessionRead result;
    simdjson::dom::parser parser;
    element root;
    if (const auto failure = parser.parse(padded).get(root); failure != simdjson::SUCCESS) {
        result.error =
            failure == simdjson::UTF8_ERROR
                ? std::string("the file is not valid UTF-8")
                : std::string("the file is not valid JSON: ") + simdjson::error_message(failure);
        return result;
    }
    if (std::string where; findDuplicateKey(root, where)) {
        result.error = "the member " + where.substr(1) + " in the file";
        return result;
    }
    Session session;
    SessionReader reader(folder);
    if (!reader.read(root, session)) {
        result.error = std::move(reader.error);
        return result;
    }
    result.session = std::move(session);
    return result;
}

}  // namespace

SessionRead parseSession(std::string_view text, const std::string& folder) {
    if (text.size() > kMaxSessionBytes) {
        SessionRead result;
        result.error = "the file is larger than 256 MiB";
        return result;
    }
    return parsePadded(simdjson::padded_string(text), folder);
}

SessionRead readSession(const std::string& file) {
    SessionRead result;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = fd < 0 ? errno : EINVAL;
        if (fd >= 0) {
            ::close(fd);
        }
        result.missing = error == ENOENT;
        result.error = "cannot read session \"" + file +
                       "\": " + (error == EINVAL ? "not a regular file" : std::strerror(error));
        return result;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxSessionBytes) {
        ::close(fd);
        result.error = "session \"" + file + "\": the file is larger than 256 MiB";
        return result;
    }
    // Read straight into the parser's padded buffer.
    simdjson::padded_string text(static_cast<std::size_t>(info.st_size));
    const ssize_t got = readFullyAt(fd, text.data(), text.size(), 0);
    ::close(fd);
    if (got < 0 || static_cast<std::size_t>(got) != text.size()) {
        result.error = "cannot read session \"" + file +
                       "\": " + (got < 0 ? std::strerror(errno) : "it changed while being read");
        return result;
    }
    result = parsePadded(text, sessionFolder(file));
    if (!result.session) {
        result.error = "session \"" + file + "\": " + result.error;
    }
    return result;
}

namespace {

// Writes the session's text into `out`, handing it to `flush` whenever it
// has grown past `chunk` bytes (and once at the end); false when a log's
// path is not valid UTF-8 (`error` then says so) or `flush` failed. A file
// is written a piece at a time: a million marks made one string of 80 MB,
// each of its pages faulted in once to be copied out once.
template <typename Flush>
bool writeSessionText(const Session& session, const std::string& folder, std::string& error,
                      std::string& out, std::size_t chunk, Flush&& flush) {
    bool failed = false;
    auto appendPath = [&](const std::string& path) {
        if (!isValidUtf8(path)) {
            error = "the path of log \"" + toValidUtf8(path) + "\" is not valid UTF-8";
            failed = true;
        }
        const bool below = !folder.empty() && path.size() > folder.size() + 1 &&
                           path.compare(0, folder.size(), folder) == 0 &&
                           path[folder.size()] == '/';
        appendJsonString(out, below ? std::string_view(path).substr(folder.size() + 1) : path,
                         false);
    };
    out += "{\"format\":\"";
    out += kFormatName;
    out += "\",\"version\":" + std::to_string(kVersion) + ",\n\"logs\":[";
    for (std::size_t i = 0; i < session.logs.size(); ++i) {
        out += i == 0 ? "" : ",";
        appendPath(session.logs[i]);
    }
    out += "],\n\"marks\":[";
    bool firstLog = true;
    for (const auto& [path, marks] : session.marks.logs()) {
        out += firstLog ? "\n{\"log\":" : ",\n{\"log\":";
        firstLog = false;
        appendPath(path);
        if (failed) {
            return false;
        }
        out += ",\"lines\":[";
        bool first = true;
        for (const auto& [place, text] : marks) {
            out += first ? "\n" : ",\n";
            first = false;
            appendMark(out, place, text);
            if (out.size() >= chunk) {
                if (!flush(out)) {
                    return false;
                }
                out.clear();
            }
        }
        out += "]}";
    }
    out += "]";
    if (!session.view.empty()) {
        out += ",\n\"view\":" + session.view;
    }
    out += "}\n";
    return !failed && flush(out);
}

}  // namespace

std::optional<std::string> sessionText(const Session& session, const std::string& folder,
                                       std::string& error) {
    std::string out;
    out.reserve(textLengthOf(session));
    if (!writeSessionText(session, folder, error, out, std::numeric_limits<std::size_t>::max(),
                          [](const std::string&) { return true; })) {
        return std::nullopt;
    }
    return out;
}

std::string writeSession(const std::string& file, const Session& session) {
    constexpr std::size_t kChunk = 1 << 20;
    std::string error;
    const std::string folder = sessionFolder(file);
    std::string failure;
    return replaceFile(file, [&](int fd) -> std::string {
        std::string out;
        out.reserve(kChunk + 2 * kMaxNoteBytes + 4096);
        const auto flush = [&](const std::string& text) {
            if (!writeFully(fd, text.data(), text.size())) {
                failure = writeFailure(file, errno);
                return false;
            }
            return true;
        };
        if (!writeSessionText(session, folder, error, out, kChunk, flush)) {
            return failure.empty() ? "cannot save session \"" + file + "\": " + error : failure;
        }
        return {};
    });
}

std::string sessionFolder(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : file.substr(0, slash);
    std::string real = realLogPath(folder);
    if (real == "/") {
        real.clear();  // paths below the root are written whole
    }
    return real;
}

}  // namespace korvantis
