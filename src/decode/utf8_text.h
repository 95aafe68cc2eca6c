#pragma once

#include <string>
#include <string_view>

namespace korvantis {

bool isValidUtf8(std::string_view bytes);
// `bytes` with each invalid UTF-8 sequence replaced by U+FFFD.
std::string toValidUtf8(std::string_view bytes);

}  // namespace korvantis
