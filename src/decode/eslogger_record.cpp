#include "decode/eslogger_record.h"

#include "decode/eslogger_process.h"
#include "decode/event_kinds.h"
#include "decode/json_member_lookup.h"
#include "decode/json_members.h"
#include "decode/other_event_summary.h"

namespace korvantis {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

constexpr std::string_view kTypePrefix = "ES_EVENT_TYPE_NOTIFY_";

// Where a key occurs twice, the first occurrence is the one read.
bool member(const object& obj, std::string_view key, element& out) {
    return !obj.at_key(key).get(out);
}

bool isMissingOrNull(const object& obj, std::string_view key, element& out) {
    return !member(obj, key, out) || out.type() == element_type::NULL_VALUE;
}

// An integer that fits a signed 64-bit integer; fractions and exponents refuse.
bool intMember(const object& obj, std::string_view key, std::int64_t& out) {
    element value;
    return member(obj, key, value) && !value.get_int64().get(out);
}

// `obj.key.path`: `key` an object whose `path` is a string.
bool pathOf(const object& obj, std::string_view key, std::string_view& path) {
    object file;
    return objectMember(obj, key, file) && stringMember(file, "path", path);
}

// The members of a message that its row reads.
enum MessageMember : std::size_t { kEvent, kTime, kProcess, kGlobalSeqNum, kMessageMembers };
constexpr std::array<std::string_view, kMessageMembers> kMessageKeys = {"event", "time", "process",
                                                                        "global_seq_num"};

bool pidOf(const EsloggerProcess& process, std::int64_t& pid) {
    const std::optional<std::int64_t>& word = process.auditToken().pid;
    pid = word.value_or(0);
    return word.has_value();
}

}  // namespace

bool EsloggerRecordReader::read(const element& root, ReceivedJsonView& out) {
    object message, events, processObject;
    element value;
    if (root.get_object().get(message)) {
        return false;
    }
    const JsonMembers<kMessageMembers> members(message, kMessageKeys);
    if (!members.get(kEvent, value) || value.get_object().get(events) || events.size() != 1 ||
        !members.get(kTime, value) || value.get_string().get(out.timestamp) ||
        !members.get(kProcess, value) || value.get_object().get(processObject)) {
        return false;
    }
    std::int64_t sequence = 0;
    if (members.get(kGlobalSeqNum, value) && !value.get_int64().get(sequence) && sequence >= 0) {
        sequence_ = sequence;
    }
    const auto kind = *events.begin();
    const std::string_view name = kind.key;
    event_.assign(kTypePrefix);
    bool upper = false;
    for (const char c : name) {
        upper = upper || (c >= 'A' && c <= 'Z');
        event_.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    // Only the lower-case names are the kinds that make rows: another
    // spelling of one ("EXEC") is an other event, and must not pass for
    // the real kind in a type: term, the summary or the Other events tab.
    const int known = eventKindNamed(event_);
    if (upper && known >= 0) {
        event_ += " (as \"";
        event_ += name;
        event_ += "\")";
    }
    out.event = event_;
    const bool rowKind = !upper && known >= 0;

    if (rowKind && isProcessKind(static_cast<EventKind>(known))) {
        return readProcessMessage(name, kind.value, out);
    }
    const EsloggerProcess process(processObject);
    if (rowKind) {
        object body;
        FileView& file = out.file.emplace();
        if (kind.value.get_object().get(body) || !pidOf(process, file.pid) ||
            !readFilePath(name, body, file.destination)) {
            return false;
        }
        out.facts = facts_.read(process, nullptr);
        return true;
    }
    // Another kind of message: kept for its raw text, and listed when its
    // process says who it is.
    out.storedOnly = true;
    readOther(process, name, kind.value, out);
    return true;
}

bool EsloggerRecordReader::readProcessMessage(std::string_view name, const element& body,
                                              ReceivedJsonView& out) {
    object fields, subjectObject;
    element subject;
    if (body.get_object().get(fields) ||
        !member(fields, name == "exec" ? "target" : "child", subject) ||
        subject.get_object().get(subjectObject)) {
        return false;
    }
    const EsloggerProcess process(subjectObject);
    if (!readProcessEvent(process, out)) {
        return false;
    }
    out.facts = facts_.read(process, name == "exec" ? &fields : nullptr);
    return true;
}

void EsloggerRecordReader::readOther(const EsloggerProcess& process, std::string_view name,
                                     const element& body, ReceivedJsonView& out) {
    std::int64_t pid = 0, ppid = 0;
    if (!pidOf(process, pid) || !process.getInt(EsloggerProcess::ppid, ppid)) {
        return;
    }
    ProcessView& p = out.other.emplace();
    p.pid = pid;
    p.ppid = ppid;
    std::string_view path;
    p.path = process.getPath(EsloggerProcess::executable, path) ? path : std::string_view{};
    out.facts = facts_.read(process, nullptr, otherEventSummary(name, body, summary_));
}

bool EsloggerRecordReader::readProcessEvent(const EsloggerProcess& fields, ReceivedJsonView& out) {
    ProcessView& p = out.process.emplace();
    if (!pidOf(fields, p.pid) || !fields.getInt(EsloggerProcess::ppid, p.ppid)) {
        return false;
    }
    // No executable, or one without a path, gives an empty path.
    std::string_view& path = p.path.emplace();
    element executable;
    if (!fields.get(EsloggerProcess::executable, executable) ||
        executable.type() == element_type::NULL_VALUE) {
        return true;
    }
    object file;
    element value;
    if (executable.get_object().get(file)) {
        return false;
    }
    return isMissingOrNull(file, "path", value) || !value.get_string().get(path);
}

bool EsloggerRecordReader::readFilePath(std::string_view name, const object& body,
                                        std::string_view& path) {
    if (name == "open") {
        return pathOf(body, "file", path);
    }
    if (name == "close" || name == "write" || name == "unlink") {
        return pathOf(body, "target", path);
    }
    std::string_view dir, file;
    if (name == "link") {
        if (!pathOf(body, "target_dir", dir) || !stringMember(body, "target_filename", file)) {
            return false;
        }
    } else {
        // rename and create: an existing file, or a new one in a folder.
        std::int64_t type = 0;
        object destination;
        if (!intMember(body, "destination_type", type) ||
            !objectMember(body, "destination", destination)) {
            return false;
        }
        if (type == 0) {
            return pathOf(destination, "existing_file", path);
        }
        object newPath;
        if (type != 1 || !objectMember(destination, "new_path", newPath) ||
            !pathOf(newPath, "dir", dir) || !stringMember(newPath, "filename", file)) {
            return false;
        }
    }
    path_.assign(dir);
    if (path_.empty() || path_.back() != '/') {
        path_.push_back('/');
    }
    path_.append(file);
    path = path_;
    return true;
}

}  // namespace korvantis
