// The filter language on any text: parsing never fails badly, the case-folding
// search agrees with a plain lower-case-and-find on every term, and matching
// reads only what it was given.
//
// Input: a query, a line feed, then the text the rows are made of.

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "query/filter_query.h"

using namespace korvantis;

namespace {

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::asText(data, size);
    const std::size_t split = input.find('\n');
    const std::string_view queryText = input.substr(0, split);
    // A copy of its own, so that reading past its end is caught.
    const std::string text(split == std::string_view::npos ? "" : input.substr(split + 1));

    const std::string lowered = asciiLower(text);
    const std::string needle = asciiLower(queryText);
    FUZZ_CHECK(containsFolded(text, needle) == (lowered.find(needle) != std::string::npos));

    const ParsedFilterQuery parsed = parseFilterQuery(queryText);
    FUZZ_CHECK(parsed.query.has_value() != !parsed.error.empty());
    if (!parsed.query) {
        return 0;
    }
    FilterQuery query = *parsed.query;
    for (const FilterQuery::Term& term : query.terms()) {
        FUZZ_CHECK(term.folded == asciiLower(term.text));
        FUZZ_CHECK(containsFolded(text, term.folded) ==
                   (lowered.find(term.folded) != std::string::npos));
    }
    const ProcessLink links[] = {{1, 0}, {2, 1}, {static_cast<std::int64_t>(size), 2}};
    query.bindTrees(links);
    const std::string_view half = std::string_view(text).substr(text.size() / 2);
    for (const korvantis::RowKind kind : korvantis::kRowKinds) {
        RowView row;
        row.kind = kind;
        row.type = text;
        row.timestamp = half;
        row.path = text;
        row.pid = static_cast<std::int64_t>(size);
        row.ppid = 2;
        query.matches(row, [&] { return std::string_view(text); });
    }
    return 0;
}
