#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvantis {

// The message's own process (its top-level `process`: the pid of its audit
// token and its executable's path), as rules read it from an eslogger line,
// found by walking the line's text up to it instead of parsing the whole
// message. Applying other rules to loaded rows needs only this of the lines
// no rule tests, and those are most of a trace.
struct TopProcessScan {
    enum class Outcome : std::uint8_t {
        none,    // the message has no process with a pid
        found,   // pid and path
        unsure,  // a form this walk does not read (the line must be parsed)
    };
    Outcome outcome = Outcome::unsure;
    std::int64_t pid = 0;
    std::string_view path;  // empty when the process has none that is a text
};

// `line` must be a JSON text that parsed (a loaded line). The path may be
// held in `scratch`.
TopProcessScan scanTopProcess(std::string_view line, std::string& scratch);

}  // namespace korvantis
