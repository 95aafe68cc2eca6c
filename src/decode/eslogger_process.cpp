#include "decode/eslogger_process.h"

namespace korvantis {

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::object;

bool EsloggerProcess::getObject(Member member, object& out) const {
    element value;
    return get(member, value) && !value.get_object().get(out);
}

bool EsloggerProcess::getString(Member member, std::string_view& out) const {
    element value;
    return get(member, value) && !value.get_string().get(out);
}

bool EsloggerProcess::getInt(Member member, std::int64_t& out) const {
    element value;
    return get(member, value) && !value.get_int64().get(out);
}

bool EsloggerProcess::getPath(Member member, std::string_view& out) const {
    object file;
    element path;
    return getObject(member, file) && !file.at_key("path").get(path) && !path.get_string().get(out);
}

const AuditTokenWords& EsloggerProcess::auditToken() const {
    if (!auditToken_) {
        element token;
        auditToken_ = get(audit_token, token) ? auditTokenWords(token) : AuditTokenWords{};
    }
    return *auditToken_;
}

AuditTokenWords auditTokenWords(const element& token) {
    AuditTokenWords words;
    auto read = [](const element& value, std::optional<std::int64_t>& out) {
        std::int64_t number = 0;
        if (!value.get_int64().get(number)) {
            out = number;
        }
    };
    object fields;
    if (!token.get_object().get(fields)) {
        const JsonMembers<3> found(fields, {"euid", "pid", "pidversion"});
        element value;
        if (found.get(0, value)) {
            read(value, words.euid);
        }
        if (found.get(1, value)) {
            read(value, words.pid);
        }
        if (found.get(2, value)) {
            read(value, words.pidversion);
        }
        return words;
    }
    array list;
    if (token.get_array().get(list) || list.size() != 8) {
        return words;
    }
    std::size_t at = 0;
    for (const element word : list) {
        if (at == 1) {
            read(word, words.euid);
        } else if (at == 5) {
            read(word, words.pid);
        } else if (at == 7) {
            read(word, words.pidversion);
        }
        ++at;
    }
    return words;
}

}  // namespace korvantis
