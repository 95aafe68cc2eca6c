#include "decode/other_event_summary.h"

#include <string>

namespace korvantis {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The first string under a "path" member inside `value`, or nothing. The
// parser bounds the depth of a document, so the recursion is bounded too.
bool firstPath(const element& value, std::string_view& out) {
    simdjson::dom::object fields;
    simdjson::dom::array items;
    if (!value.get_object().get(fields)) {
        for (const auto field : fields) {
            if (field.key == "path" && field.value.type() == element_type::STRING) {
                out = field.value.get_string().value_unsafe();
                return true;
            }
            if (firstPath(field.value, out)) {
                return true;
            }
        }
    } else if (!value.get_array().get(items)) {
        for (const element item : items) {
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
        if (body["stat"].get_int64().get(stat)) {
            return {};
        }
        scratch = waitStatusText(stat);
        return scratch;
    }
    std::string_view path;
    return firstPath(body, path) ? path : std::string_view{};
}

}  // namespace korvantis
