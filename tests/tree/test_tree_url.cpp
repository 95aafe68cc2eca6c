#include <gtest/gtest.h>

#include <optional>
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

// (Invalid UTF-8 read as U+FFFD is the tree URL fuzz target's: any text
// made a URL reads back as its valid form.)
TEST(TreeUrl, Reading) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"KorvantisTree://", ""},
        // Every occurrence of the scheme is removed.
        {"KorvantisTree://Zm9vKorvantisTree://YmFy", "foobar"},
        {"Zm9vYmFyKorvantisTree://", "foobar"},
    };
    for (const auto& [url, expected] : cases) {
        EXPECT_EQ(readTreeUrl(url), expected) << url;
    }
    // Not strict base64 (length not a multiple of four, too much padding,
    // padding before the end, blanks, the URL-safe alphabet, stray bits after
    // the last byte), or not the scheme (which is case-sensitive).
    for (const char* url :
         {"KorvantisTree://Zg=", "KorvantisTree://Z===", "KorvantisTree://Zg==Zg==",
          "KorvantisTree://Zm9v\n", "KorvantisTree://Zm 9v", "KorvantisTree://Zm-_",
          "KorvantisTree://Zh==", "KorvantisTree://Zm9=", "KorvantisTree:/Zm9v",
          "korvantistree://Zm9v", "http://example.org/tree", "=Zm9"}) {
        EXPECT_EQ(readTreeUrl(url), std::nullopt) << url;
    }
}

}  // namespace
}  // namespace korvantis
