// Reading a tree URL: any text is read without a crash into valid UTF-8, and a
// URL made from any text reads back as that text.

#include <cstdint>
#include <string>

#include "decode/utf8_text.h"
#include "fuzz_support.h"
#include "tree/tree_url.h"

using namespace korvantis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);

    if (const auto read = readTreeUrl(text)) {
        FUZZ_CHECK(isValidUtf8(*read));
    }

    const std::string encoded = base64Encode(text);
    FUZZ_CHECK(encoded.size() == (size + 2) / 3 * 4);
    const auto decoded = base64Decode(encoded);
    FUZZ_CHECK(decoded && *decoded == text);

    const std::string url = makeTreeUrlText(text);
    FUZZ_CHECK(url.substr(0, kTreeUrlScheme.size()) == kTreeUrlScheme);
    const auto back = readTreeUrl(url);
    FUZZ_CHECK(back && *back == toValidUtf8(text));
    return 0;
}
