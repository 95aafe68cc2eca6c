#pragma once

#include <cstddef>
#include <cstdint>

namespace korvantis {

// How the run that a process row starts ends.
struct LifetimeEnd {
    enum class How : std::uint8_t {
        untracked,  // not an eslogger row, or without a pid version
        running,    // nothing later ends it: still running at the end of the log
        exited,     // `row` is the other row (an exit) that ends it
        became,     // `row` is the later exec process row of the same pid
        unseen,     // `row` is a later fork process row whose child has the pid
    };
    static constexpr std::uint8_t kLastHow = static_cast<std::uint8_t>(How::unseen);
    How how = How::untracked;
    std::size_t row = 0;
    bool operator==(const LifetimeEnd&) const = default;
};

}  // namespace korvantis
