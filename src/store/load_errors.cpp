#include "store/load_errors.h"

#include <algorithm>

#include "decode/path_name.h"
#include "decode/utf8_text.h"
#include "store/log_files.h"

namespace korvantis {

namespace {

// An error begins with one byte: bit 0 tells a message from a line; bits 1-2
// how its place is written; bits 3-7 a line's length when it is short.
constexpr std::uint8_t kMessage = 1;
// The line after the error before, in the same log (and for a line, right
// after the last line error's line): nothing more is written.
constexpr std::uint8_t kNext = 0 << 1;
// Same log, further on: the lines skipped, and for a line the bytes skipped.
constexpr std::uint8_t kFurther = 1 << 1;
// Log, line and offset written whole.
constexpr std::uint8_t kWhole = 2 << 1;
constexpr std::uint8_t kPlaceBits = 3 << 1;
constexpr int kLengthShift = 3;
// For a message: it stands for its line (a line's length bits are free).
constexpr std::uint8_t kStandsForLine = 1 << kLengthShift;
constexpr std::uint32_t kLongLength = 31;  // the length follows

}  // namespace

void LoadErrors::putVarint(std::uint64_t value) {
    while (value >= 0x80) {
        put(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    put(static_cast<std::uint8_t>(value));
}

void LoadErrors::addLine(LoadErrorOrigin origin, const LineRef& ref) {
    add(Entry{origin, true, ref, 0}, {});
}

void LoadErrors::addMessage(LoadErrorOrigin origin, std::string_view text, bool standsForLine) {
    add(Entry{origin, false, {}, 0, standsForLine}, text);
}

void LoadErrors::addNamedMessage(std::string_view name, std::string_view text) {
    names_.emplace_back(count_, std::string(name));
    try {
        add(Entry{LoadErrorOrigin{kNamedLog, 0}, false, {}, 0}, text);
    } catch (...) {
        names_.pop_back();
        throw;
    }
}

std::string LoadErrors::foldedText(std::size_t folded) {
    const std::string digits = std::to_string(folded);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return "\u2026 and " + grouped + (folded == 1 ? " more load error" : " more load errors") +
           ", not listed: too many to keep";
}

bool LoadErrors::fold(const Entry& e) {
    // Messages are listed all the same: few of them say why a load stopped,
    // and the many that are about lines each go with a stored line.
    if (!e.isLine || (folded_ == 0 && bytes_.size() < kListedBytes)) {
        return false;
    }
    ++folded_;
    if (e.isLine) {
        if (!foldedRuns_.empty()) {
            LineRun& last = foldedRuns_.back();
            if (last.log == e.origin.log && last.line + last.lines == e.origin.line) {
                ++last.lines;
                return true;
            }
        }
        foldedRuns_.push_back(LineRun{e.origin.line, 1, e.origin.log});
    }
    return true;
}

LoadErrors::Mark LoadErrors::mark() const {
    Mark m;
    m.end = end_;
    m.count = count_;
    m.anchors = anchors_.size();
    m.folded = folded_;
    m.runs = foldedRuns_.size();
    m.lastRunLines = foldedRuns_.empty() ? 0 : foldedRuns_.back().lines;
    m.messages = messages_.size();
    m.messageBytes = messageBytes_;
    m.names = names_.size();
    return m;
}

void LoadErrors::rollBack(const Mark& m) {
    end_ = m.end;
    count_ = m.count;
    bytes_.shrinkTo(m.end.at);
    anchors_.shrinkTo(m.anchors);
    folded_ = m.folded;
    foldedRuns_.shrinkTo(m.runs);
    if (!foldedRuns_.empty()) {
        foldedRuns_.back().lines = m.lastRunLines;
    }
    messages_.shrinkTo(m.messages);
    messageBytes_ = m.messageBytes;
    names_.resize(std::min(names_.size(), m.names));
}

void LoadErrors::add(const Entry& e, std::string_view text) {
    // All or nothing: an entry packed in part would garble every one after.
    const Mark before = mark();
    try {
        pack(e, text);
    } catch (...) {
        rollBack(before);
        throw;
    }
}

void LoadErrors::pack(const Entry& e, std::string_view text) {
    if (fold(e)) {
        return;
    }
    if (count_ % kAnchorEvery == 0) {
        anchors_.push_back(end_);
    }
    State& s = end_;
    const bool sameLog = e.origin.log == s.log && e.origin.line > s.line;
    std::uint8_t place = kWhole;
    if (sameLog && e.origin.line == s.line + 1 && (!e.isLine || e.ref.offset == s.nextOffset)) {
        place = kNext;
    } else if (sameLog && (!e.isLine || e.ref.offset >= s.nextOffset)) {
        place = kFurther;
    }
    const std::uint32_t length = e.isLine ? e.ref.length : 0;
    put(static_cast<std::uint8_t>((e.isLine ? 0 : kMessage) | place |
                                  std::min(length, kLongLength) << kLengthShift |
                                  (e.standsForLine ? kStandsForLine : 0)));
    if (place == kWhole) {
        putVarint(e.origin.log);
        putVarint(e.origin.line);
        if (e.isLine) {
            putVarint(e.ref.offset);
        }
    } else if (place == kFurther) {
        putVarint(e.origin.line - s.line);
        if (e.isLine) {
            putVarint(e.ref.offset - s.nextOffset);
        }
    }
    if (e.isLine) {
        if (length >= kLongLength) {
            putVarint(length - kLongLength);
        }
        // An empty line has nothing to check.
        for (int b = 0; length != 0 && b < 64; b += 8) {
            put(static_cast<std::uint8_t>(e.ref.checksum >> b));
        }
        s.nextOffset = e.ref.offset + length + 1;
    } else {
        messages_.push_back(messageText_.store(text));
        messageBytes_ += text.size();
        ++s.message;
    }
    s.log = e.origin.log;
    s.line = e.origin.line;
    s.at = bytes_.size();
    ++count_;
}

LoadErrors::Cursor::Cursor(const LoadErrors& errors, std::size_t anchor)
    : errors_(errors), state_(errors.anchors_[anchor]) {}

std::uint64_t LoadErrors::Cursor::varint() {
    std::uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const std::uint8_t b = errors_.bytes_[state_.at++];
        value |= static_cast<std::uint64_t>(b & 0x7f) << shift;
        if ((b & 0x80) == 0) {
            return value;
        }
    }
}

LoadErrors::Entry LoadErrors::Cursor::next() {
    State& s = state_;
    const std::uint8_t head = errors_.bytes_[s.at++];
    Entry e;
    e.isLine = (head & kMessage) == 0;
    e.origin.log = s.log;
    switch (head & kPlaceBits) {
        case kNext:
            e.origin.line = s.line + 1;
            e.ref.offset = s.nextOffset;
            break;
        case kFurther:
            e.origin.line = s.line + varint();
            e.ref.offset = e.isLine ? s.nextOffset + varint() : 0;
            break;
        default:
            e.origin.log = static_cast<std::uint32_t>(varint());
            e.origin.line = varint();
            e.ref.offset = e.isLine ? varint() : 0;
            break;
    }
    if (e.isLine) {
        e.ref.log = e.origin.log;
        e.ref.length = head >> kLengthShift;
        if (e.ref.length == kLongLength) {
            e.ref.length += static_cast<std::uint32_t>(varint());
        }
        for (int b = 0; e.ref.length != 0 && b < 64; b += 8) {
            e.ref.checksum |= static_cast<std::uint64_t>(errors_.bytes_[s.at++]) << b;
        }
        if (e.ref.length == 0) {
            e.ref.checksum = lineChecksum({});
        }
        s.nextOffset = e.ref.offset + e.ref.length + 1;
    } else {
        e.message = s.message++;
        e.standsForLine = (head & kStandsForLine) != 0;
    }
    s.log = e.origin.log;
    s.line = e.origin.line;
    return e;
}

LoadErrors::Entry LoadErrors::entry(std::size_t i) const {
    Cursor cursor(*this, i / kAnchorEvery);
    for (std::size_t skip = i % kAnchorEvery; skip > 0; --skip) {
        cursor.next();
    }
    return cursor.next();
}

std::string LoadErrors::message(std::size_t index) const {
    return std::string(messages_[index]);
}

std::string LoadErrors::text(std::size_t i, const LogFiles& logs) const {
    const Entry e = entry(i);
    if (!e.isLine) {
        return message(e.message);
    }
    const LineRead line = logs.read(e.ref);
    return line ? toValidUtf8(*line) : readFailureText(line.failure);
}

void LoadErrors::forEachText(const LogFiles& logs,
                             const std::function<void(std::size_t, std::string_view)>& f) const {
    LogFiles::AheadReader reader(logs);
    std::string made;
    forEach([&](std::size_t i, const Entry& e) {
        if (!e.isLine) {
            f(i, messages_[e.message]);
            return;
        }
        const ReadBack<std::string_view> line = reader.read(e.ref);
        if (!line) {
            made = readFailureText(line.failure);
        } else if (!isValidUtf8(*line)) {
            made = toValidUtf8(*line);
        } else {
            f(i, *line);
            return;
        }
        f(i, made);
    });
}

std::string LoadErrors::originName(std::size_t i, const LogFiles& logs) const {
    const LoadErrorOrigin origin = this->origin(i);
    if (origin.log != kNamedLog) {
        return logs.fileName(origin.log);
    }
    const auto named = std::lower_bound(
        names_.begin(), names_.end(), i,
        [](const std::pair<std::size_t, std::string>& n, std::size_t at) { return n.first < at; });
    return named != names_.end() && named->first == i ? named->second : std::string();
}

std::size_t LoadErrors::bytesUsed() const {
    return bytes_.size() + anchors_.size() * sizeof(State) + messageBytes_ +
           messages_.size() * sizeof(std::string_view) + foldedRuns_.size() * sizeof(LineRun);
}

}  // namespace korvantis
