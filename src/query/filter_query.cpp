// The filter language: parsing a query and matching rows against it.

#include "query/filter_query.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>
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

#if defined(__SSE2__)
namespace {

// Start positions among the 16 from `at` whose first and last bytes fit the
// needle's, in either case, as a bit mask.
class EndsFilter {
  public:
    explicit EndsFilter(std::string_view foldedNeedle)
        : length_(foldedNeedle.size()),
          firstLower_(_mm_set1_epi8(foldedNeedle.front())),
          firstUpper_(_mm_set1_epi8(upper(foldedNeedle.front()))),
          lastLower_(_mm_set1_epi8(foldedNeedle.back())),
          lastUpper_(_mm_set1_epi8(upper(foldedNeedle.back()))) {}

    // Reads [at, at + length - 1 + 16).
    unsigned candidates(const char* at) const {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + length_ - 1));
        const __m128i headFits =
            _mm_or_si128(_mm_cmpeq_epi8(head, firstLower_), _mm_cmpeq_epi8(head, firstUpper_));
        const __m128i tailFits =
            _mm_or_si128(_mm_cmpeq_epi8(tail, lastLower_), _mm_cmpeq_epi8(tail, lastUpper_));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(headFits, tailFits)));
    }

  private:
    std::size_t length_;
    __m128i firstLower_, firstUpper_, lastLower_, lastUpper_;
};

// Whether one of the candidate positions in `mask`, counted from `at`, starts
// the needle (its first and last bytes are known to fit).
bool anyCandidateFits(const char* at, unsigned mask, std::string_view foldedNeedle) {
    const std::size_t m = foldedNeedle.size();
    while (mask != 0) {
        const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
        if (m <= 2 || equalFolded(at + bit + 1, foldedNeedle.data() + 1, m - 2)) {
            return true;
        }
        mask &= mask - 1;
    }
    return false;
}

}  // namespace
#endif

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
#if defined(__SSE2__)
    // Sixteen start positions at a time; only those whose first and last
    // bytes fit are compared in full.
    const EndsFilter filter(foldedNeedle);
    const std::size_t starts = n - m + 1;  // start positions to try
    if (starts < 16) {
        // All of them in one step, read from a padded copy: reading past the
        // end of the text itself is not allowed.
        constexpr std::size_t kPadded = 64;
        if (n + 16 <= kPadded) {
            char padded[kPadded] = {};
            std::memcpy(padded, hay, n);
            const unsigned mask = filter.candidates(padded) & ((1u << starts) - 1);
            return anyCandidateFits(hay, mask, foldedNeedle);
        }
    } else {
        std::size_t i = 0;
        for (; i + 16 <= starts; i += 16) {
            if (anyCandidateFits(hay + i, filter.candidates(hay + i), foldedNeedle)) {
                return true;
            }
        }
        // The last few start positions: one more step ending at the last,
        // overlapping positions already tried.
        if (i < starts) {
            const std::size_t at = starts - 16;
            return anyCandidateFits(hay + at, filter.candidates(hay + at), foldedNeedle);
        }
        return false;
    }
#endif
    const char* needle = foldedNeedle.data();
    const unsigned char first = static_cast<unsigned char>(needle[0]);
    for (std::size_t i = 0; i + m <= n; ++i) {
        if (fold(hay[i]) == first && equalFolded(hay + i + 1, needle + 1, m - 1)) {
            return true;
        }
    }
    return false;
}

// --- PidSet ---

PidSet::PidSet(std::int64_t low, std::uint64_t count)
    : low_(low), count_(count), bits_((count + 63) / 64, 0) {}

bool PidSet::hashedContains(std::int64_t pid) const {
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
    const std::uint64_t offset = static_cast<std::uint64_t>(pid) - static_cast<std::uint64_t>(low_);
    if (offset < count_) {
        std::uint64_t& word = bits_[offset / 64];
        const std::uint64_t bit = std::uint64_t{1} << (offset % 64);
        if (word & bit) {
            return false;
        }
        word |= bit;
        ++denseSize_;
        ++size_;
        return true;
    }
    if (pid == kFree) {
        const bool added = !hasFreeMarker_;
        hasFreeMarker_ = true;
        size_ += added ? 1 : 0;
        return added;
    }
    if ((size_ - denseSize_ + 1) * 2 > slots_.size()) {
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
    slots_.assign(tableSize(size_ - denseSize_ + 1), kFree);
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

// The smallest and largest of some pids, and how many values lie between.
struct PidRange {
    std::int64_t low = INT64_MAX;
    std::int64_t high = INT64_MIN;
    void add(std::int64_t pid) {
        low = std::min(low, pid);
        high = std::max(high, pid);
    }
    // Saturates instead of wrapping for the full 64-bit range.
    std::uint64_t count() const {
        const std::uint64_t span =
            static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
        return span == UINT64_MAX ? span : span + 1;
    }
    // Whether a table of `perRow` entries per row covers the range.
    bool denseFor(std::size_t rows, std::uint64_t perRow) const {
        return low <= high && count() <= perRow * rows + 65536;
    }
};

// The pids of each ppid's child rows, stored together per ppid. A ppid's
// group is found directly by its offset in the ppid range when that range is
// compact, else through a hash table.
class ChildLists {
  public:
    explicit ChildLists(std::span<const ProcessLink> processes) {
        PidRange ppids;
        for (const ProcessLink& link : processes) {
            ppids.add(link.ppid);
        }
        dense_ = ppids.denseFor(processes.size(), 4);
        low_ = ppids.low;
        const std::size_t groups =
            dense_ ? static_cast<std::size_t>(ppids.count()) : tableSize(processes.size());
        if (!dense_) {
            keys_.assign(groups, 0);
            used_.assign(groups, 0);
        }
        start_.assign(groups + 1, 0);
        std::vector<std::uint32_t> groupOf(processes.size());
        for (std::size_t i = 0; i < processes.size(); ++i) {
            groupOf[i] = static_cast<std::uint32_t>(claimGroup(processes[i].ppid));
            ++start_[groupOf[i] + 1];
        }
        for (std::size_t g = 0; g < groups; ++g) {
            start_[g + 1] += start_[g];
        }
        children_.resize(processes.size());
        std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
        for (std::size_t i = 0; i < processes.size(); ++i) {
            children_[fill[groupOf[i]]++] = processes[i].pid;
        }
    }

    // The pids of the rows whose ppid is `ppid`.
    std::span<const std::int64_t> of(std::int64_t ppid) const {
        const std::optional<std::size_t> group = findGroup(ppid);
        if (!group) {
            return {};
        }
        return std::span<const std::int64_t>(children_).subspan(
            start_[*group], start_[*group + 1] - start_[*group]);
    }

  private:
    std::size_t claimGroup(std::int64_t ppid) {
        if (dense_) {
            return static_cast<std::size_t>(static_cast<std::uint64_t>(ppid) -
                                            static_cast<std::uint64_t>(low_));
        }
        const std::size_t mask = keys_.size() - 1;
        std::size_t slot = mixPid(ppid) >> 20 & mask;
        while (used_[slot] && keys_[slot] != ppid) {
            slot = (slot + 1) & mask;
        }
        used_[slot] = 1;
        keys_[slot] = ppid;
        return slot;
    }
    std::optional<std::size_t> findGroup(std::int64_t ppid) const {
        if (dense_) {
            const std::uint64_t offset =
                static_cast<std::uint64_t>(ppid) - static_cast<std::uint64_t>(low_);
            return offset < start_.size() - 1 ? std::optional<std::size_t>(offset) : std::nullopt;
        }
        const std::size_t mask = keys_.size() - 1;
        for (std::size_t slot = mixPid(ppid) >> 20 & mask; used_[slot]; slot = (slot + 1) & mask) {
            if (keys_[slot] == ppid) {
                return slot;
            }
        }
        return std::nullopt;
    }

    bool dense_ = false;
    std::int64_t low_ = 0;
    std::vector<std::int64_t> keys_;    // hashed groups only
    std::vector<std::uint8_t> used_;    // hashed groups only
    std::vector<std::uint32_t> start_;  // group g is children_[start_[g], start_[g + 1])
    std::vector<std::int64_t> children_;
};

}  // namespace

PidSet descendantPids(std::int64_t root, std::span<const ProcessLink> processes) {
    PidRange pids;
    pids.add(root);
    for (const ProcessLink& link : processes) {
        pids.add(link.pid);
    }
    PidSet members =
        pids.denseFor(processes.size(), 64) ? PidSet(pids.low, pids.count()) : PidSet();
    const ChildLists children(processes);
    members.insert(root);
    // Depth-first with an explicit stack: a chain of any length is fine.
    std::vector<std::int64_t> pending{root};
    while (!pending.empty()) {
        const std::int64_t parent = pending.back();
        pending.pop_back();
        for (const std::int64_t child : children.of(parent)) {
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

std::string_view nameOf(const FilterQuery::Term& term) {
    if (term.key == FilterQuery::Key::fact) {
        return kFactNames[static_cast<std::size_t>(term.fact)];
    }
    for (const KeyName& k : kKeys) {
        if (k.key == term.key) {
            return k.name;
        }
    }
    return "text";
}

bool equalsFolded(std::string_view word, std::string_view foldedName) {
    return foldedName.size() == word.size() &&
           std::equal(word.begin(), word.end(), foldedName.begin(),
                      [](char a, char b) { return fold(a) == static_cast<unsigned char>(b); });
}

// Sets the key of `term` named `word` (any ASCII case); false when none is.
bool setKeyNamed(std::string_view word, FilterQuery::Term& term) {
    for (const KeyName& k : kKeys) {
        if (equalsFolded(word, k.name)) {
            term.key = k.key;
            return true;
        }
    }
    for (std::size_t i = 0; i < kFactCount; ++i) {
        if (equalsFolded(word, kFactNames[i])) {
            term.key = FilterQuery::Key::fact;
            term.fact = static_cast<Fact>(i);
            return true;
        }
    }
    return false;
}

bool takesInteger(const FilterQuery::Term& term) {
    using Key = FilterQuery::Key;
    return term.key == Key::pid || term.key == Key::ppid || term.key == Key::tree ||
           (term.key == Key::fact && isIntegerFact(term.fact));
}

std::string decimal(std::int64_t value) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;  // 24 bytes always hold a 64-bit number
    return std::string(digits, end);
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
        case FilterQuery::Key::fact:
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
            if (colon != std::string_view::npos && colon < unquoted &&
                setKeyNamed(rest.substr(0, colon), term)) {
                rest.remove_prefix(colon + 1);
                if (rest.empty()) {
                    return {std::nullopt, "empty value after " + std::string(nameOf(term)) + ":"};
                }
            }
            term.text = std::string(rest);
            term.folded.reserve(term.text.size());
            for (const char c : term.text) {
                term.folded.push_back(static_cast<char>(fold(c)));
            }
            if (takesInteger(term)) {
                std::string error = parseNumber(nameOf(term), rest, term.number);
                if (!error.empty()) {
                    return {std::nullopt, std::move(error)};
                }
                term.digits = decimal(term.number);
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
    static std::string parseNumber(std::string_view key, std::string_view text,
                                   std::int64_t& value) {
        const std::string name(key);
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

bool termHolds(const FilterQuery::Term& term, const RowView& row, RawLineRef rawLine) {
    using Key = FilterQuery::Key;
    switch (term.key) {
        case Key::pid:
            return row.pid == term.number;
        case Key::ppid:
            return (row.isProcess || row.isOther) && row.ppid == term.number;
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
        case Key::fact:
            // An integer fact is the decimal form of its value: equal texts,
            // equal values. An empty fact holds no value and no text.
            return isIntegerFact(term.fact) ? row.facts[term.fact] == term.digits
                                            : containsFolded(row.facts[term.fact], term.folded);
        case Key::plain:
            return containsFolded(row.path, term.folded) || containsFolded(row.type, term.folded) ||
                   containsFolded(row.timestamp, term.folded) ||
                   containsFolded(row.facts[Fact::args], term.folded) ||
                   containsFolded(row.facts[Fact::summary], term.folded) ||
                   (term.numeric &&
                    (numberContains(row.pid, term.folded) ||
                     ((row.isProcess || row.isOther) && numberContains(row.ppid, term.folded))));
    }
    return false;
}

}  // namespace

bool FilterQuery::matches(const RowView& row, RawLineRef rawLine) const {
    for (const Term& term : terms_) {
        if (termHolds(term, row, rawLine) == term.negated) {
            return false;
        }
    }
    return true;
}

}  // namespace korvantis
