#include "index/journal_scan.h"

#include <algorithm>
#include <cstring>

#include "decode/event_kinds.h"
#include "decode/row_facts.h"
#include "index/index_file.h"

namespace korvantis {

namespace {

// The longest facts can be encoded: each one's 2-byte length and bytes.
constexpr std::size_t kLongestFacts = 2 + kFactCount * (2 + std::size_t{UINT16_MAX});

}  // namespace

bool isEncodedFacts(std::string_view text) {
    if (text.size() < 2) {
        return false;
    }
    std::uint16_t mask;
    std::memcpy(&mask, text.data(), 2);
    if ((mask >> kFactCount) != 0) {
        return false;
    }
    std::size_t at = 2;
    for (std::size_t i = 0; i < kFactCount; ++i) {
        if ((mask & (1u << i)) == 0) {
            continue;
        }
        if (text.size() - at < 2) {
            return false;
        }
        std::uint16_t length;
        std::memcpy(&length, text.data() + at, 2);
        at += 2;
        if (text.size() - at < length) {
            return false;
        }
        at += length;
    }
    return at == text.size();
}

JournalScan::JournalScan(bool placeRows)
    : lines_(placeRows),
      facts_(isEncodedFacts, kLongestFacts),
      scans_{NamedScan{journal_section::kLines, &lines_},
             NamedScan{journal_section::kPathTexts, &paths_},
             NamedScan{journal_section::kFactTexts, &facts_}} {}

void JournalScan::scanRest(const IndexFile& file) {
    const auto lines = file.section(journal_section::kLines);
    if (lines && lines_.seen != lines->size()) {
        lines_ = Lines(lines_.placeRows);
        lines_.begin(lines->size());
        lines_.add(*lines);
    }
    for (TextPlaces::Finder* texts : {&paths_, &facts_}) {
        const std::string_view name =
            texts == &paths_ ? journal_section::kPathTexts : journal_section::kFactTexts;
        if (const auto section = file.section(name); section && !texts->saw(section->size())) {
            texts->begin(section->size());
            texts->add(*section);
        }
    }
}

void JournalScan::Lines::begin(std::uint64_t length) {
    count = length / sizeof(LineRecord);
    if (!placeRows) {
        return;
    }
    if (count > UINT32_MAX) {
        sound = false;
        return;
    }
    // Room for as many rows of each kind as there are lines: what is not
    // used is never touched.
    places.emplace();
    for (std::vector<std::uint32_t>& lineOf : places->lineOf) {
        lineOf.reserve(count);
    }
    places->types.reserve(count);
}

// Made inline: it runs once for every line of the log.
[[gnu::always_inline]] inline void JournalScan::Lines::line(const LineRecord& l) {
    const std::uint64_t i = next_++;
    if (!sound) {
        return;
    }
    // In file order, each within the longest line; where the furthest ends
    // is held against the journal's end afterwards.
    if (l.kind > 3 || l.offset < lastOffset_ || l.length > kLongestLine ||
        l.offset > UINT64_MAX - l.length ||
        (l.kind != 0 && l.kind != 3 && l.type >= kEventKindNames.size())) {
        sound = false;
        return;
    }
    lastOffset_ = l.offset;
    textEnd = std::max(textEnd, l.offset + l.length);
    if (l.kind != 0) {
        ++rows[static_cast<RowKind>(l.kind - 1)];
    }
    if (!places) {
        return;
    }
    // Each kind's bits a word of 64 lines at a time.
    if (l.kind != 0) {
        words_[static_cast<RowKind>(l.kind - 1)] |= std::uint64_t{1} << (i % 64);
    }
    if (i % 64 == 63 || i + 1 == count) {
        for (const RowKind kind : kRowKinds) {
            places->bits[kind].appendWord(words_[kind], i % 64 + 1);
            words_[kind] = 0;
        }
    }
    places->types.push_back(l.type < kEventKindNames.size() ? l.type : 0);
    (l.kind == 0 ? places->rowless : places->lineOf[static_cast<RowKind>(l.kind - 1)])
        .push_back(static_cast<std::uint32_t>(i));
}

void JournalScan::Lines::add(std::string_view bytes) {
    seen += bytes.size();
    if (carried_ > 0) {
        const std::size_t taken = std::min(sizeof carry_ - carried_, bytes.size());
        std::memcpy(carry_ + carried_, bytes.data(), taken);
        carried_ += taken;
        bytes.remove_prefix(taken);
        if (carried_ < sizeof carry_) {
            return;
        }
        carried_ = 0;
        line(recordAt<LineRecord>(std::string_view(carry_, sizeof carry_), 0));
    }
    const std::size_t whole = bytes.size() / sizeof(LineRecord);
    for (std::size_t i = 0; i < whole && sound; ++i) {
        line(recordAt<LineRecord>(bytes, i));
    }
    carried_ = bytes.size() % sizeof(LineRecord);
    std::memcpy(carry_, bytes.data() + whole * sizeof(LineRecord), carried_);
}

}  // namespace korvantis
