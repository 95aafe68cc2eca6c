#include "decode/row_facts.h"

#include <cstring>

namespace korvantis {

namespace {

std::uint16_t readLength(const char* at) {
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void appendLength(std::string& out, std::size_t length) {
    const auto value = static_cast<std::uint16_t>(length);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

bool isShellSafe(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("_@%+=:,./-", c) != nullptr;
}

}  // namespace

int factNamed(std::string_view name) {
    for (std::size_t i = 0; i < kFactCount; ++i) {
        if (kFactNames[i] == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void appendCut(std::string& out, std::string_view text) {
    if (text.size() <= kFactBytes) {
        out.append(text);
        return;
    }
    std::size_t cut = kFactBytes;
    // Byte `cut` is the first one left out: while it continues a character,
    // that character is left out whole.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    out.append(text.substr(0, cut));
    out.append("\xE2\x80\xA6");
}

void appendShellWord(std::string& out, std::string_view word) {
    bool safe = !word.empty();
    for (const char c : word) {
        safe = safe && c != '\0' && isShellSafe(c);
    }
    if (safe) {
        out.append(word);
        return;
    }
    out.push_back('\'');
    for (const char c : word) {
        if (c == '\'') {
            out.append("'\\''");
        } else {
            out.push_back(c);
        }
    }
    out.push_back('\'');
}

std::uint16_t RowFacts::present() const {
    return readLength(encoded_);
}

std::string_view RowFacts::operator[](Fact fact) const {
    if (encoded_ == nullptr) {
        return {};
    }
    const std::uint16_t mask = present();
    const auto index = static_cast<unsigned>(fact);
    if (!(mask >> index & 1)) {
        return {};
    }
    const char* at = encoded_ + sizeof(std::uint16_t);
    for (unsigned i = 0; i < index; ++i) {
        if (mask >> i & 1) {
            at += sizeof(std::uint16_t) + readLength(at);
        }
    }
    return {at + sizeof(std::uint16_t), readLength(at)};
}

std::array<std::string_view, kFactCount> RowFacts::all() const {
    std::array<std::string_view, kFactCount> facts{};
    if (encoded_ == nullptr) {
        return facts;
    }
    const std::uint16_t mask = present();
    const char* at = encoded_ + sizeof(std::uint16_t);
    for (std::size_t i = 0; i < kFactCount; ++i) {
        if (mask >> i & 1) {
            const std::uint16_t length = readLength(at);
            facts[i] = {at + sizeof(std::uint16_t), length};
            at += sizeof(std::uint16_t) + length;
        }
    }
    return facts;
}

void RowFactsBuilder::clear() {
    for (std::string& text : texts_) {
        text.clear();
    }
}

void RowFactsBuilder::set(Fact fact, std::string_view text) {
    texts_[static_cast<std::size_t>(fact)].assign(text);
}

std::string_view RowFactsBuilder::encode() {
    std::uint16_t mask = 0;
    encoded_.assign(sizeof mask, '\0');
    for (std::size_t i = 0; i < kFactCount; ++i) {
        std::string& text = texts_[i];
        if (text.size() > kFactBytes) {
            std::string whole = std::move(text);
            text.clear();
            appendCut(text, whole);
        }
        if (text.empty()) {
            continue;
        }
        mask = static_cast<std::uint16_t>(mask | 1u << i);
        appendLength(encoded_, text.size());
        encoded_.append(text);
    }
    std::memcpy(encoded_.data(), &mask, sizeof mask);
    return encoded_;
}

}  // namespace korvantis
