#pragma once

#include <string>
#include <string_view>

namespace korvantis {

// Appends `text` as a JSON string literal (with quotes). Escapes the quotation
// mark, the reverse solidus and control characters; with `escapeSlash` also
// writes "/" as "\/". Other characters, non-ASCII included, are copied as they
// are (the input is expected to be valid UTF-8).
inline void appendJsonString(std::string& out, std::string_view text, bool escapeSlash) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t run = 0;
    auto flush = [&](std::size_t i) {
        out.append(text.data() + run, i - run);
        run = i + 1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\' && !(escapeSlash && c == '/')) {
            continue;
        }
        flush(i);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '/':
                out += "\\/";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\u00";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0xf]);
        }
    }
    out.append(text.data() + run, text.size() - run);
    out.push_back('"');
}

// The length of what appendJsonString() appends for `text`.
inline std::size_t jsonStringLength(std::string_view text, bool escapeSlash) {
    std::size_t length = text.size() + 2;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != '"' && c != '\\' && !(escapeSlash && c == '/')) {
            continue;
        }
        const bool shortForm = c == '"' || c == '\\' || c == '/' || c == '\b' || c == '\f' ||
                               c == '\n' || c == '\r' || c == '\t';
        length += shortForm ? 1 : 5;
    }
    return length;
}

}  // namespace korvantis
