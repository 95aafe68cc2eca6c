#include "index/text_places.h"

#include <algorithm>
#include <cstring>

namespace korvantis {

void TextPlaces::Finder::begin(std::uint64_t length) {
    found_.emplace();
    begun_ = true;
    failed_ = false;
    length_ = length;
    at_ = high_ = 0;
    headerSize_ = 0;
    textLeft_ = 0;
    text_.clear();
}

// The text starting at at_.
void TextPlaces::Finder::place() {
    if (found_->low_.size() == UINT32_MAX) {
        failed_ = true;
        return;
    }
    for (; (at_ >> 32) > high_; ++high_) {
        found_->wraps_.push_back(static_cast<std::uint32_t>(found_->low_.size()));
    }
    found_->low_.push_back(static_cast<std::uint32_t>(at_));
}

void TextPlaces::Finder::checkText(std::string_view text) {
    if (check_ != nullptr && !check_(text)) {
        failed_ = true;
    }
}

// A text of `length` bytes whose first bytes are still to come.
void TextPlaces::Finder::startText(std::uint32_t length) {
    place();
    if (check_ != nullptr && length > longest_) {
        failed_ = true;
    }
    textLeft_ = length;
    text_.clear();
    if (length == 0) {
        checkText({});
    }
}

void TextPlaces::Finder::add(std::string_view bytes) {
    const bool first = at_ == 0;
    while (!bytes.empty() && !failed_) {
        if (textLeft_ > 0) {
            const std::size_t taken = std::min<std::uint64_t>(textLeft_, bytes.size());
            if (check_ != nullptr) {
                text_.append(bytes.substr(0, taken));
            }
            textLeft_ -= taken;
            at_ += taken;
            bytes.remove_prefix(taken);
            if (textLeft_ == 0) {
                checkText(text_);
            }
            continue;
        }
        if (headerSize_ > 0 || bytes.size() < 4) {
            const std::size_t taken = std::min(4 - headerSize_, bytes.size());
            std::memcpy(header_ + headerSize_, bytes.data(), taken);
            headerSize_ += taken;
            at_ += taken;
            bytes.remove_prefix(taken);
            if (headerSize_ == 4) {
                headerSize_ = 0;
                std::uint32_t length;
                std::memcpy(&length, header_, 4);
                startText(length);
            }
            continue;
        }
        // The texts the piece holds whole, in place.
        const char* p = bytes.data();
        std::size_t left = bytes.size();
        while (left >= 4 && !failed_) {
            std::uint32_t length;
            std::memcpy(&length, p, 4);
            if (left - 4 < length) {
                break;
            }
            at_ += 4;
            place();
            checkText(std::string_view(p + 4, length));
            at_ += length;
            p += 4 + std::size_t{length};
            left -= 4 + std::size_t{length};
        }
        bytes = std::string_view(p, left);
        if (left >= 4 && !failed_) {  // a text that goes on in the next piece
            std::uint32_t length;
            std::memcpy(&length, p, 4);
            at_ += 4;
            bytes.remove_prefix(4);
            startText(length);
        }
    }
    at_ += bytes.size();  // what a failure left unread
    // Room for as many more texts as the first piece suggests.
    if (first && at_ > 0 && at_ < length_ && !failed_) {
        found_->low_.reserve(static_cast<std::size_t>(std::min<double>(
            static_cast<double>(length_) / 4, 1.125 * static_cast<double>(found_->low_.size()) *
                                                      static_cast<double>(length_) /
                                                      static_cast<double>(at_) +
                                                  16)));
    }
}

std::optional<TextPlaces> TextPlaces::Finder::places(std::string_view section) && {
    if (!found_ || failed_ || headerSize_ != 0 || textLeft_ != 0 || at_ != section.size()) {
        return std::nullopt;
    }
    found_->section_ = section;
    return std::move(found_);
}

std::optional<TextPlaces> TextPlaces::of(std::string_view section) {
    Finder finder;
    finder.begin(section.size());
    finder.add(section);
    return std::move(finder).places(section);
}

std::string_view TextPlaces::operator[](std::size_t id) const {
    const auto wraps =
        wraps_.empty() ? std::uint64_t{0}
                       : static_cast<std::uint64_t>(
                             std::upper_bound(wraps_.begin(), wraps_.end(), id) - wraps_.begin());
    const std::uint64_t at = low_[id] + (wraps << 32);
    std::uint32_t length;
    std::memcpy(&length, section_.data() + at - 4, 4);
    // Checked when the places were found; only a cut (zeros) differs since.
    length = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, section_.size() - at));
    return section_.substr(at, length);
}

}  // namespace korvantis
