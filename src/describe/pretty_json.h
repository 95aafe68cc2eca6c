#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvantis {

// A raw line in readable form, and the keys that one of its objects repeats.
struct ReadableJson {
    std::string text;
    // The paths of the repeated keys ("process.pid", "args[2].name"), each
    // once: by object in the order the readable form writes them, within one in
    // the order of their first member; at most kMaxListedKeys of them.
    std::vector<std::string> repeatedKeys;
    // How many paths repeat in all, listed or not.
    std::size_t repeatedKeyCount = 0;

    static constexpr std::size_t kMaxListedKeys = 8;
};

// `text` re-written as readable JSON: one member or element per line, two
// spaces of indent per level, " : " between key and value, keys sorted (the
// members of a repeated key in their written order, every one kept), every
// "/" written as "\/". The input unchanged when it is not one JSON value.
ReadableJson readableJson(std::string_view text);
// The same for a line of which the caller has no further need: read in place,
// without a copy of it (a line can be hundreds of megabytes).
ReadableJson readableLine(std::string line);
std::string prettyPrintedJson(std::string_view text);

}  // namespace korvantis
