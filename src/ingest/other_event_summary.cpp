#include "ingest/other_event_summary.h"

#include <string>

namespace korvantis {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The first string under a "path" member inside `value`, or nothing. The
// parser bounds the depth of a document, so the recursion is bounded too.
bool firstPath(const element& value, std::string_view& out) {
    if (value.type() == element_type::OBJECT) {
        for (const auto field : value.get_object().value_unsafe()) {
            if (field.key == "path" && field.value.type() == element_type::STRING) {
                out = field.value.get_string().value_unsafe();
                return true;
            }
            if (firstPath(field.value, out)) {
                return true;
            }
        }
    } else if (value.type() == element_type::ARRAY) {
        for (const element item : value.get_array().value_unsafe()) {
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
