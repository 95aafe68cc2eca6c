// The filter language: parsing a query and matching rows against it.

#include "store/filter_query.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvantis {

namespace {

constexpr std::array<unsigned char, 256> makeFoldTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return table;
}
constexpr std::array<unsigned char, 256> kFold = makeFoldTable();

unsigned char fold(char c) {
    return kFold[static_cast<unsigned char>(c)];
}

char upper(char folded) {
    return folded >= 'a' && folded <= 'z' ? static_cast<char>(folded - ('a' - 'A')) : folded;
}

bool equalFolded(const char* text, const char* foldedNeedle, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (fold(text[i]) != static_cast<unsigned char>(foldedNeedle[i])) {
            return false;
        }
    }
    return true;
}

std::uint64_t mixPid(std::int64_t pid) {
    return static_cast<std::uint64_t>(pid) * 0x9E3779B97F4A7C15ull;
}

// Smallest power of two of at least twice `count` (and at least 16) slots.
std::size_t tableSize(std::size_t count) {
    std::size_t size = 16;
    while (size < count * 2) {
        size *= 2;
    }
    return size;
}

}  // namespace

bool containsFolded(std::string_view haystack, std::string_view foldedNeedle) {
    const std::size_t m = foldedNeedle.size();
    const std::size_t n = haystack.size();
    if (m == 0) {
        return true;
    }
    if (m > n) {
        return false;
    }
    const char* hay = haystack.data();
    const char* needle = foldedNeedle.data();
    const char first = needle[0];
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen start positions at a time: those whose first and last bytes
    // both fit the needle's, in either case, are checked in full.
    const char last = needle[m - 1];
    const __m128i firstLower = _mm_set1_epi8(first);
    const __m128i firstUpper = _mm_set1_epi8(upper(first));
    const __m128i lastLower = _mm_set1_epi8(last);
    const __m128i lastUpper = _mm_set1_epi8(upper(last));
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + m - 1));
        const __m128i headFits =
            _mm_or_si128(_mm_cmpeq_epi8(head, firstLower), _mm_cmpeq_epi8(head, firstUpper));
        const __m128i tailFits =
            _mm_or_si128(_mm_cmpeq_epi8(tail, lastLower), _mm_cmpeq_epi8(tail, lastUpper));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(headFits, tailFits)));
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (m <= 2 || equalFolded(hay + i + bit + 1, needle + 1, m - 2)) {
                return true;
            }
            mask &= mask - 1;
        }
    }
#endif
    const unsigned char firstByte = static_cast<unsigned char>(first);
    for (; i + m <= n; ++i) {
        if (fold(hay[i]) == firstByte && equalFolded(hay + i + 1, needle + 1, m - 1)) {
            return true;
        }
    }
    return false;
}

// --- PidSet ---

bool PidSet::contains(std::int64_t pid) const {
    if (pid == kFree) {
        return hasFreeMarker_;
    }
    if (slots_.empty()) {
        return false;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = mixPid(pid) >> 20 & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == pid) {
            return true;
        }
        if (slots_[slot] == kFree) {
            return false;
        }
    }
}

bool PidSet::insert(std::int64_t pid) {
    if (pid == kFree) {
        const bool added = !hasFreeMarker_;
        hasFreeMarker_ = true;
        size_ += added ? 1 : 0;
        return added;
    }
    if ((size_ + 1) * 2 > slots_.size()) {
        grow();
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = mixPid(pid) >> 20 & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == pid) {
            return false;
        }
        if (slots_[slot] == kFree) {
            slots_[slot] = pid;
            ++size_;
            return true;
        }
    }
}

void PidSet::grow() {
    std::vector<std::int64_t> old = std::move(slots_);
    slots_.assign(tableSize(size_ + 1), kFree);
    const std::size_t mask = slots_.size() - 1;
    for (const std::int64_t pid : old) {
        if (pid == kFree) {
            continue;
        }
        std::size_t slot = mixPid(pid) >> 20 & mask;
        while (slots_[slot] != kFree) {
            slot = (slot + 1) & mask;
        }
        slots_[slot] = pid;
    }
}

// --- Tree closure ---

namespace {

// Each ppid's process rows, as a list linked through the row indexes.
class ChildLists {
  public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    explicit ChildLists(std::span<const ProcessLink> processes)
        : keys_(tableSize(processes.size()), 0),
          heads_(keys_.size(), kNone),
          next_(processes.size(), kNone) {
        for (std::size_t i = 0; i < processes.size(); ++i) {
            const std::size_t slot = slotOf(processes[i].ppid);
            keys_[slot] = processes[i].ppid;
            next_[i] = heads_[slot];
            heads_[slot] = static_cast<std::uint32_t>(i);
        }
    }
    // First row whose ppid is `ppid`, or kNone.
    std::uint32_t first(std::int64_t ppid) const { return heads_[slotOf(ppid)]; }
    std::uint32_t next(std::uint32_t row) const { return next_[row]; }

  private:
    // The slot holding `ppid`'s list, or the free slot it would take (a free
    // slot's head is kNone: no rows).
    std::size_t slotOf(std::int64_t ppid) const {
        const std::size_t mask = keys_.size() - 1;
        std::size_t slot = mixPid(ppid) >> 20 & mask;
        while (heads_[slot] != kNone && keys_[slot] != ppid) {
            slot = (slot + 1) & mask;
        }
        return slot;
    }

    std::vector<std::int64_t> keys_;
    std::vector<std::uint32_t> heads_;
    std::vector<std::uint32_t> next_;
};

}  // namespace

PidSet descendantPids(std::int64_t root, std::span<const ProcessLink> processes) {
    const ChildLists children(processes);
    PidSet members;
    members.insert(root);
    // Depth-first with an explicit stack: a chain of any length is fine.
    std::vector<std::int64_t> pending{root};
    while (!pending.empty()) {
        const std::int64_t parent = pending.back();
        pending.pop_back();
        for (std::uint32_t row = children.first(parent); row != ChildLists::kNone;
             row = children.next(row)) {
            const std::int64_t child = processes[row].pid;
            if (members.insert(child)) {
                pending.push_back(child);
            }
        }
    }
    return members;
}

// --- Parsing ---

namespace {

struct KeyName {
    std::string_view name;
    FilterQuery::Key key;
};
constexpr KeyName kKeys[] = {
    {"pid", FilterQuery::Key::pid},   {"ppid", FilterQuery::Key::ppid},
    {"type", FilterQuery::Key::type}, {"path", FilterQuery::Key::path},
    {"time", FilterQuery::Key::time}, {"tree", FilterQuery::Key::tree},
    {"json", FilterQuery::Key::json},
};

std::string_view nameOf(FilterQuery::Key key) {
    for (const KeyName& k : kKeys) {
        if (k.key == key) {
            return k.name;
        }
    }
    return "text";
}

std::optional<FilterQuery::Key> keyNamed(std::string_view word) {
    for (const KeyName& k : kKeys) {
        if (k.name.size() == word.size() &&
            std::equal(word.begin(), word.end(), k.name.begin(),
                       [](char a, char b) { return fold(a) == static_cast<unsigned char>(b); })) {
            return k.key;
        }
    }
    return std::nullopt;
}

// One term as split: its text without quotes, how many of its first
// characters stood outside any quote, and its length as written.
struct RawTerm {
    std::string text;
    std::size_t unquotedPrefix = 0;
    std::size_t writtenLength = 0;
};

// Cheaper kinds first, so that a row fails early; json last, so raw lines
// are fetched only for rows that passed everything else.
int costOf(FilterQuery::Key key) {
    switch (key) {
        case FilterQuery::Key::pid:
        case FilterQuery::Key::ppid:
        case FilterQuery::Key::tree:
            return 0;
        case FilterQuery::Key::type:
        case FilterQuery::Key::time:
        case FilterQuery::Key::path:
            return 1;
        case FilterQuery::Key::plain:
            return 2;
        case FilterQuery::Key::json:
            return 3;
    }
    return 3;
}

bool couldBeNumber(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

}  // namespace

struct FilterQueryParser {
    static ParsedFilterQuery parse(std::string_view text) {
        std::vector<RawTerm> raw;
        if (!split(text, raw)) {
            return {std::nullopt, "unbalanced quote: a \" is never closed"};
        }
        FilterQuery query;
        for (RawTerm& r : raw) {
            FilterQuery::Term term;
            std::string_view rest = r.text;
            std::size_t unquoted = r.unquotedPrefix;
            if (r.writtenLength > 1 && unquoted > 0 && rest.front() == '-') {
                term.negated = true;
                rest.remove_prefix(1);
                --unquoted;
            }
            const std::size_t colon = rest.find(':');
            std::optional<FilterQuery::Key> key;
            if (colon != std::string_view::npos && colon < unquoted) {
                key = keyNamed(rest.substr(0, colon));
            }
            if (key) {
                term.key = *key;
                rest.remove_prefix(colon + 1);
                if (rest.empty()) {
                    return {std::nullopt, "empty value after " + std::string(nameOf(*key)) + ":"};
                }
            }
            term.text = std::string(rest);
            term.folded.reserve(term.text.size());
            for (const char c : term.text) {
                term.folded.push_back(static_cast<char>(fold(c)));
            }
            if (term.key == FilterQuery::Key::pid || term.key == FilterQuery::Key::ppid ||
                term.key == FilterQuery::Key::tree) {
                std::string error = parseNumber(term.key, rest, term.number);
                if (!error.empty()) {
                    return {std::nullopt, std::move(error)};
                }
            }
            term.numeric = couldBeNumber(term.text);
            query.terms_.push_back(std::move(term));
        }
        std::stable_sort(query.terms_.begin(), query.terms_.end(),
                         [](const FilterQuery::Term& a, const FilterQuery::Term& b) {
                             return costOf(a.key) < costOf(b.key);
                         });
        return {std::move(query), {}};
    }

  private:
    static bool split(std::string_view text, std::vector<RawTerm>& terms) {
        bool inQuote = false;
        bool quoted = false;  // the current term has had a quote
        bool inTerm = false;
        RawTerm current;
        const auto finish = [&] {
            if (inTerm) {
                terms.push_back(std::move(current));
            }
            current = RawTerm{};
            inTerm = false;
            quoted = false;
        };
        for (const char c : text) {
            if (!inQuote && (c == ' ' || c == '\t')) {
                finish();
                continue;
            }
            inTerm = true;
            ++current.writtenLength;
            if (c == '"') {
                inQuote = !inQuote;
                quoted = true;
                continue;
            }
            current.text.push_back(c);
            if (!quoted) {
                ++current.unquotedPrefix;
            }
        }
        if (inQuote) {
            return false;
        }
        finish();
        return true;
    }

    // An error text, or empty when `text` is a decimal 64-bit integer.
    static std::string parseNumber(FilterQuery::Key key, std::string_view text,
                                   std::int64_t& value) {
        const std::string name(nameOf(key));
        const char* end = text.data() + text.size();
        const auto [stop, ec] = std::from_chars(text.data(), end, value);
        if (ec == std::errc::result_out_of_range) {
            return name + ": " + std::string(text) + " does not fit in 64 bits";
        }
        if (ec != std::errc{} || stop != end) {
            return name + ": needs a whole number, not \"" + std::string(text) + "\"";
        }
        return {};
    }
};

ParsedFilterQuery parseFilterQuery(std::string_view text) {
    return FilterQueryParser::parse(text);
}

// --- Matching ---

bool FilterQuery::needsRawLine() const {
    return std::any_of(terms_.begin(), terms_.end(),
                       [](const Term& t) { return t.key == Key::json; });
}

std::vector<std::int64_t> FilterQuery::treeRoots() const {
    std::vector<std::int64_t> roots;
    for (const Term& t : terms_) {
        if (t.key == Key::tree && std::find(roots.begin(), roots.end(), t.number) == roots.end()) {
            roots.push_back(t.number);
        }
    }
    return roots;
}

void FilterQuery::bindTree(std::int64_t root, std::shared_ptr<const PidSet> members) {
    for (Term& t : terms_) {
        if (t.key == Key::tree && t.number == root) {
            t.tree = members;
        }
    }
}

void FilterQuery::bindTrees(std::span<const ProcessLink> processes) {
    for (const std::int64_t root : treeRoots()) {
        bindTree(root, std::make_shared<const PidSet>(descendantPids(root, processes)));
    }
}

namespace {

bool numberContains(std::int64_t number, std::string_view folded) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
    (void)ec;  // 24 bytes always hold a 64-bit number
    return containsFolded(std::string_view(digits, static_cast<std::size_t>(end - digits)), folded);
}

bool termHolds(const FilterQuery::Term& term, const FilterRow& row, RawLineRef rawLine) {
    using Key = FilterQuery::Key;
    switch (term.key) {
        case Key::pid:
            return row.pid == term.number;
        case Key::ppid:
            return row.isProcess && row.ppid == term.number;
        case Key::tree:
            return term.tree ? term.tree->contains(row.pid) : row.pid == term.number;
        case Key::type:
            return containsFolded(row.type, term.folded);
        case Key::path:
            return containsFolded(row.path, term.folded);
        case Key::time:
            return containsFolded(row.timestamp, term.folded);
        case Key::json:
            return containsFolded(rawLine(), term.folded);
        case Key::plain:
            return containsFolded(row.path, term.folded) || containsFolded(row.type, term.folded) ||
                   containsFolded(row.timestamp, term.folded) ||
                   (term.numeric && (numberContains(row.pid, term.folded) ||
                                     (row.isProcess && numberContains(row.ppid, term.folded))));
    }
    return false;
}

}  // namespace

bool FilterQuery::matches(const FilterRow& row, RawLineRef rawLine) const {
    for (const Term& term : terms_) {
        if (termHolds(term, row, rawLine) == term.negated) {
            return false;
        }
    }
    return true;
}

}  // namespace korvantis
