#pragma once

#include <string>
#include <string_view>

namespace korvantis {

// `text` re-written as readable JSON: one member or element per line, two
// spaces of indent per level, " : " between key and value, keys sorted, every
// "/" written as "\/". The input unchanged when it is not one JSON value.
std::string prettyPrintedJson(std::string_view text);

}  // namespace korvantis
