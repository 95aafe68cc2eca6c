#pragma once

#include <string_view>

namespace korvantis {

// An ASCII letter in lower case; every other byte as it is.
char foldAscii(char c);

// Whether `word`, folded, equals `foldedName` (already in lower case).
bool equalsFolded(std::string_view word, std::string_view foldedName);

// Whether `haystack` contains `foldedNeedle` (already in ASCII lower case),
// ASCII letters compared regardless of case, all other bytes exactly.
bool containsFolded(std::string_view haystack, std::string_view foldedNeedle);

}  // namespace korvantis
