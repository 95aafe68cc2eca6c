#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "decode/same_text.h"

namespace korvantis {

// The event kinds that become rows, once for the whole program: the two
// process events, then the seven monitored file events. A row keeps its
// kind as an index into kEventKindNames.
using EventKind = std::uint8_t;

inline constexpr std::array<std::string_view, 9> kEventKindNames = {
    "ES_EVENT_TYPE_NOTIFY_EXEC",  "ES_EVENT_TYPE_NOTIFY_FORK",   "ES_EVENT_TYPE_NOTIFY_OPEN",
    "ES_EVENT_TYPE_NOTIFY_CLOSE", "ES_EVENT_TYPE_NOTIFY_WRITE",  "ES_EVENT_TYPE_NOTIFY_RENAME",
    "ES_EVENT_TYPE_NOTIFY_LINK",  "ES_EVENT_TYPE_NOTIFY_UNLINK", "ES_EVENT_TYPE_NOTIFY_CREATE",
};
inline constexpr EventKind kExecKind = 0;
inline constexpr EventKind kForkKind = 1;
inline constexpr EventKind kFirstFileKind = 2;
inline constexpr EventKind kRenameKind = 5;
inline constexpr EventKind kCreateKind = 8;
static_assert(kEventKindNames[kRenameKind] == "ES_EVENT_TYPE_NOTIFY_RENAME" &&
              kEventKindNames[kCreateKind] == "ES_EVENT_TYPE_NOTIFY_CREATE");

inline constexpr bool isProcessKind(EventKind kind) {
    return kind < kFirstFileKind;
}

// The kind named `name` (compared exactly and case-sensitively), or -1.
inline int eventKindNamed(std::string_view name) {
    for (std::size_t i = 0; i < kEventKindNames.size(); ++i) {
        if (sameText(name, kEventKindNames[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace korvantis
