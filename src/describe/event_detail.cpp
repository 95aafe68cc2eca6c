#include "describe/event_detail.h"

#include <utility>

#include "store/log_files.h"

namespace korvantis {

namespace {

// A cut this close before the limit is moved back to a line break, so that
// the shown part ends with a whole line.
constexpr std::size_t kLineSearch = 4096;

bool continuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t shownLength(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    std::size_t cut = limit;
    const std::size_t from = cut > kLineSearch ? cut - kLineSearch : 0;
    const std::size_t lineEnd = text.rfind('\n', cut);
    if (lineEnd != std::string::npos && lineEnd >= from) {
        return lineEnd;
    }
    while (cut > 0 && continuationByte(text[cut])) {
        --cut;
    }
    return cut;
}

std::string withThousands(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return out;
}

std::string leftOutNote(const std::string& text, std::size_t shown) {
    if (shown == text.size()) {
        return {};
    }
    std::size_t chars = 0;
    for (std::size_t i = shown; i < text.size(); ++i) {
        chars += continuationByte(text[i]) ? 0 : 1;
    }
    return "\xe2\x80\xa6 " + withThousands(chars) +
           " more characters are not shown here; \xe2\x80\x9c"
           "Copy to clipboard\xe2\x80\x9d and "
           "\xe2\x80\x9cSave event as\xe2\x80\xa6\xe2\x80\x9d give all of it.";
}

}  // namespace

std::string repeatedKeysNotice(const ReadableJson& readable) {
    if (readable.repeatedKeyCount == 0) {
        return {};
    }
    std::string keys;
    for (const std::string& key : readable.repeatedKeys) {
        keys += keys.empty() ? "" : ", ";
        keys += key;
    }
    if (readable.repeatedKeyCount > readable.repeatedKeys.size()) {
        keys += " and " + withThousands(readable.repeatedKeyCount - readable.repeatedKeys.size()) +
                " more";
    }
    return "This line repeats keys (" + keys + "); the lists use the first of each.";
}

EventDetail eventDetailOf(std::optional<std::string> line, std::size_t shownLimit) {
    if (!line) {
        return plainDetail(std::string(kLogChangedText));
    }
    ReadableJson readable = readableLine(std::move(*line));
    EventDetail detail;
    detail.notice = repeatedKeysNotice(readable);
    detail.text = std::move(readable.text);
    detail.shownBytes = shownLength(detail.text, shownLimit);
    detail.leftOutNote = leftOutNote(detail.text, detail.shownBytes);
    return detail;
}

EventDetail plainDetail(std::string text) {
    EventDetail detail;
    detail.text = std::move(text);
    detail.shownBytes = detail.text.size();
    return detail;
}

}  // namespace korvantis
