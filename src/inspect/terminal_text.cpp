#include "inspect/terminal_text.h"

#include <cstdio>

namespace korvantis {

namespace {

// The length of the control character `text` starts with, or 0.
std::size_t controlLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (byte(0) < 0x20 || byte(0) == 0x7f) {
        return 1;
    }
    if (text.size() >= 2 && byte(0) == 0xc2 && byte(1) >= 0x80 && byte(1) <= 0x9f) {
        return 2;  // C1: U+0080..U+009F (CSI among them)
    }
    if (text.size() >= 2 && byte(0) == 0xd8 && byte(1) == 0x9c) {
        return 2;  // U+061C ARABIC LETTER MARK
    }
    if (text.size() >= 3 && byte(0) == 0xe2) {
        const unsigned second = byte(1);
        const unsigned third = byte(2);
        // U+200E, U+200F; U+2028, U+2029 (line and paragraph separators),
        // U+202A..U+202E; U+2066..U+2069
        if ((second == 0x80 && (third == 0x8e || third == 0x8f)) ||
            (second == 0x80 && third >= 0xa8 && third <= 0xae) ||
            (second == 0x81 && third >= 0xa6 && third <= 0xa9)) {
            return 3;
        }
    }
    return 0;
}

}  // namespace

std::string terminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t control = controlLength(text.substr(i));
        if (control == 0) {
            out.push_back(text[i++]);
            continue;
        }
        for (const std::size_t end = i + control; i < end; ++i) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(text[i]));
            out += escaped;
        }
    }
    return out;
}

}  // namespace korvantis
