#include "ingest/other_event_summary.h"

#include <string>

namespace korvantis {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The first string under a "path" member inside `value`, or nothing. The
// parser bounds the depth of a document, so the recursion is bounded too.
bool firstPath(const element& value, std::string_view& out) {
    // The object or array is held in a local: a range over a member of the
    // temporary result would dangle.
    if (value.type() == element_type::OBJECT) {
        const simdjson::dom::object object = value.get_object().value_unsafe();
        for (const auto field : object) {
            if (field.key == "path" && field.value.type() == element_type::STRING) {
                out = field.value.get_string().value_unsafe();
                return true;
            }
            if (firstPath(field.value, out)) {
                return true;
            }
        }
    } else if (value.type() == element_type::ARRAY) {
        const simdjson::dom::array array = value.get_array().value_unsafe();
        for (const element item : array) {
            if (firstPath(item, out)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::string waitStatusText(std::int64_t stat) {
    const std::int64_t low = stat & 0x7f;
    const std::int64_t code = (stat >> 8) & 0xff;
    if (low == 0) {
        return "exit " + std::to_string(code);
    }
    if (low == 0x7f) {
        return "stopped " + std::to_string(code);
    }
    std::string text = "signal " + std::to_string(low);
    if ((stat & 0x80) != 0) {
        text += " (core dumped)";
    }
    return text;
}

std::string_view otherEventSummary(std::string_view kind, const element& body,
                                   std::string& scratch) {
    if (body.type() != element_type::OBJECT) {
        return {};
    }
    if (kind == "exit") {
        std::int64_t stat = 0;
        if (body.get_object().value_unsafe().at_key("stat").get_int64().get(stat)) {
            return {};
        }
        scratch = waitStatusText(stat);
        return scratch;
    }
    std::string_view path;
    return firstPath(body, path) ? path : std::string_view{};
}

}  // namespace korvantis
