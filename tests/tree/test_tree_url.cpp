#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tree/tree_url.h"

namespace korvantis {
namespace {

TEST(TreeUrl, StandardBase64WithPadding) {
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf?>", "+/+/Pz4="}};
    // clang-format on
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(base64Encode(bytes), text);
        EXPECT_EQ(base64Decode(text), bytes);
        EXPECT_EQ(makeTreeUrlText(bytes), "KorvantisTree://" + text);
    }
}

// Every length and byte value.
TEST(TreeUrl, RoundTripIsByteExact) {
    std::mt19937 rng(7);
    for (int len = 0; len < 70; ++len) {
        std::string bytes;
        for (int i = 0; i < len; ++i) {
            bytes.push_back(static_cast<char>(rng() & 0xff));
        }
        EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes) << len;
    }
}

TEST(TreeUrl, Reading) {
    const std::optional<std::string> none;
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"KorvantisTree://", ""},
        // Every occurrence of the scheme is removed.
        {"KorvantisTree://Zm9vKorvantisTree://YmFy", "foobar"},
        {"Zm9vYmFyKorvantisTree://", "foobar"},
        // Invalid UTF-8 becomes U+FFFD.
        {"KorvantisTree://Yf9i",
         "a\xef\xbf\xbd"
         "b"},
        {"KorvantisTree://ww==", "\xef\xbf\xbd"},
        // Not strict base64, or not the scheme (which is case-sensitive).
        {"KorvantisTree://Zg=", none},       // length not a multiple of four
        {"KorvantisTree://Z===", none},      // too much padding
        {"KorvantisTree://Zg==Zg==", none},  // padding before the end
        {"KorvantisTree://Zm9v\n", none},
        {"KorvantisTree://Zm 9v", none},
        {"KorvantisTree://Zm-_", none},  // URL-safe alphabet
        {"KorvantisTree://Zh==", none},  // stray bits after the last byte
        {"KorvantisTree://Zm9=", none},
        {"KorvantisTree:/Zm9v", none},
        {"korvantistree://Zm9v", none},
        {"http://example.org/tree", none},
        {"=Zm9", none},
    };
    for (const auto& [url, expected] : cases) {
        EXPECT_EQ(readTreeUrl(url), expected) << url;
    }
}

}  // namespace
}  // namespace korvantis
