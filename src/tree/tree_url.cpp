// The tree URL: the tree JSON carried to a tree window as base64 text.

#include "tree/tree_url.h"

#include <array>
#include <cstdint>

#include "decode/utf8_text.h"

namespace korvantis {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t) {
        v = -1;
    }
    for (int i = 0; i < 64; ++i) {
        t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    return t;
}

constexpr std::array<std::int8_t, 256> kDecode = makeDecodeTable();

}  // namespace

std::string base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out.push_back(kAlphabet[v >> 18]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(kAlphabet[(v >> 6) & 63]);
        out.push_back(kAlphabet[v & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const std::uint32_t v = p[i] << 16;
        out.push_back(kAlphabet[v >> 18]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out += "==";
    } else if (rest == 2) {
        const std::uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
        out.push_back(kAlphabet[v >> 18]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(kAlphabet[(v >> 6) & 63]);
        out.push_back('=');
    }
    return out;
}

// Strict: only the standard alphabet, length a multiple of four, "=" only as
// the last one or two characters, and no stray bits in the last character
// before the padding (a text that no encoder writes is refused rather than
// guessed at).
std::optional<std::string> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t pad = 0;
    if (!text.empty() && text.back() == '=') {
        pad = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    }
    const std::size_t body = text.size() - pad;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t acc = 0;
    int bits = 0;
    for (std::size_t i = 0; i < body; ++i) {
        const std::int8_t v = kDecode[static_cast<unsigned char>(text[i])];
        if (v < 0) {
            return std::nullopt;  // also catches "=" before the end
        }
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xff));
        }
    }
    // What is left over must be the zero fill of the last group.
    if ((acc & ((1u << bits) - 1)) != 0) {
        return std::nullopt;
    }
    return out;
}

std::string makeTreeUrlText(std::string_view treeJson) {
    std::string url(kTreeUrlScheme);
    url += base64Encode(treeJson);
    return url;
}

std::optional<std::string> readTreeUrl(std::string_view urlText) {
    // Every occurrence of the scheme text goes, wherever it stands.
    std::string rest;
    rest.reserve(urlText.size());
    std::size_t from = 0;
    for (std::size_t at; (at = urlText.find(kTreeUrlScheme, from)) != std::string_view::npos;
         from = at + kTreeUrlScheme.size()) {
        rest.append(urlText, from, at - from);
    }
    rest.append(urlText, from);
    std::optional<std::string> bytes = base64Decode(rest);
    if (!bytes) {
        return std::nullopt;
    }
    return toValidUtf8(*bytes);
}

}  // namespace korvantis
