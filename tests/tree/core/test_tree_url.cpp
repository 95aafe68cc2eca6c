#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tree/tree_url.h"

namespace korvantis {
namespace {

TEST(TreeUrl, EmptyTreeTextGivesTheSchemeAloneAndBack) {
    EXPECT_EQ(makeTreeUrlText(""), "KorvantisTree://");
    EXPECT_EQ(readTreeUrl("KorvantisTree://"), "");
}

TEST(TreeUrl, StandardBase64WithPadding) {
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode("\xfb\xff"), "+/8=");
    EXPECT_EQ(base64Decode("Zm9vYmE="), "fooba");
    EXPECT_EQ(base64Decode(""), "");
}

TEST(TreeUrl, RoundTripIsByteExact) {
    const std::string json = R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},)"
                             R"({"name":"\/","children":[{"name":"Ünïcode App \"q\""}]}]}])";
    const std::string url = makeTreeUrlText(json);
    EXPECT_EQ(url.rfind("KorvantisTree://", 0), 0u);
    EXPECT_EQ(url.find('\n'), std::string::npos);
    EXPECT_EQ(readTreeUrl(url), json);

    // Every length and byte value, including payloads holding "+" and "/".
    std::mt19937 rng(7);
    for (int len = 0; len < 70; ++len) {
        std::string bytes;
        for (int i = 0; i < len; ++i) {
            bytes.push_back(static_cast<char>(rng() & 0xff));
        }
        const std::string text = base64Encode(bytes);
        EXPECT_EQ(text.size() % 4, 0u);
        EXPECT_EQ(base64Decode(text), bytes) << len;
    }
    const std::string slashy = "\xfb\xff\xbf?>";  // encodes to "+/+/Pz4="
    ASSERT_EQ(base64Encode(slashy), "+/+/Pz4=");
    EXPECT_EQ(base64Decode(makeTreeUrlText(slashy).substr(16)), slashy);
}

TEST(TreeUrl, EverySchemeOccurrenceIsRemoved) {
    EXPECT_EQ(readTreeUrl("KorvantisTree://Zm9vKorvantisTree://YmFy"), "foobar");
    EXPECT_EQ(readTreeUrl("Zm9vYmFyKorvantisTree://"), "foobar");
    // Case-sensitive: another spelling is not the scheme.
    EXPECT_EQ(readTreeUrl("korvantistree://Zm9v"), std::nullopt);
}

TEST(TreeUrl, InvalidBase64YieldsNothing) {
    for (const char* bad : {
             "KorvantisTree://Zg=",       // length not a multiple of four
             "KorvantisTree://Z===",      // too much padding
             "KorvantisTree://Zg==Zg==",  // padding before the end
             "KorvantisTree://Zm9v\n",    // line break
             "KorvantisTree://Zm 9v",     // space
             "KorvantisTree://Zm-_",      // URL-safe alphabet
             "KorvantisTree://Zh==",      // stray bits after the last byte
             "KorvantisTree://Zm9=",      // stray bits after the last byte
             "KorvantisTree:/Zm9v",       // not the scheme
             "http://example.org/tree",   // another scheme
             "=Zm9",
         }) {
        EXPECT_EQ(readTreeUrl(bad), std::nullopt) << bad;
    }
}

TEST(TreeUrl, InvalidUtf8IsReplaced) {
    EXPECT_EQ(readTreeUrl(makeTreeUrlText("a\xff"
                                          "b")),
              "a\xef\xbf\xbd"
              "b");
    EXPECT_EQ(readTreeUrl(makeTreeUrlText("\xc3")), "\xef\xbf\xbd");
}

}  // namespace
}  // namespace korvantis
