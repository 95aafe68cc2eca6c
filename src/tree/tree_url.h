#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvantis {

inline constexpr std::string_view kTreeUrlScheme = "KorvantisTree://";

// "KorvantisTree://" followed by the standard, padded base64 form of the text.
std::string makeTreeUrlText(std::string_view treeJson);

// The tree JSON carried by a URL text: every "KorvantisTree://" removed, the
// rest decoded as strict base64, the bytes read as UTF-8 with U+FFFD for
// invalid sequences. Nothing when the rest is not valid base64.
std::optional<std::string> readTreeUrl(std::string_view urlText);

std::string base64Encode(std::string_view bytes);
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace korvantis
