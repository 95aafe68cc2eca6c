#pragma once

#include <simdjson.h>

#include <string_view>

namespace korvantis {

// One member of a parsed JSON object, looked up by key and taken only when it
// has the wanted type. Where a key occurs twice, the first occurrence is the
// one read.
inline bool objectMember(const simdjson::dom::object& obj, std::string_view key,
                         simdjson::dom::object& out) {
    simdjson::dom::element value;
    return !obj.at_key(key).get(value) && !value.get_object().get(out);
}

inline bool stringMember(const simdjson::dom::object& obj, std::string_view key,
                         std::string_view& out) {
    simdjson::dom::element value;
    return !obj.at_key(key).get(value) && !value.get_string().get(out);
}

}  // namespace korvantis
