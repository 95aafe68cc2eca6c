#pragma once

#include <string>
#include <string_view>

#include "decode/time_value.h"

namespace korvantis {

// How the lists show a row's time.
enum class TimeDisplay {
    asRecorded,  // the timestamp text as the log has it
    utc,         // "YYYY-MM-DD HH:MM:SS.ffffff" in UTC
    local,       // the same in the local time zone
    sinceFirst,  // "+[Nd ]HH:MM:SS.ffffff" after the earliest time value loaded
};

// The text a row shows for its time. `recorded` is its timestamp text,
// `time` its time value (kNoTimeValue: none, and the text is shown as it
// is), `first` the earliest time value loaded. Microseconds are cut, not
// rounded, so a row never shows a later time than it has.
std::string shownTime(TimeDisplay display, std::string_view recorded, TimeValue time,
                      TimeValue first);

}  // namespace korvantis
