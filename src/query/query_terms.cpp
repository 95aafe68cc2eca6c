// Splitting a query into its terms: shared by the parser and the edits that
// add or replace terms, so that both see the same terms.

#include "query/query_terms.h"

#include "query/folded_search.h"

namespace korvantis {

bool WrittenTerm::negated() const {
    return written.size() > 1 && unquotedPrefix > 0 && text.front() == '-';
}

std::string_view WrittenTerm::keyWord() const {
    const std::size_t skip = negated() ? 1 : 0;
    const std::size_t colon = text.find(':', skip);
    if (colon == std::string::npos || colon >= unquotedPrefix) {
        return {};
    }
    return std::string_view(text).substr(skip, colon - skip);
}

std::string_view WrittenTerm::value() const {
    const std::size_t skip = negated() ? 1 : 0;
    const std::string_view key = keyWord();
    return std::string_view(text).substr(key.empty() ? skip : skip + key.size() + 1);
}

bool WrittenTerm::hasKey(std::string_view foldedKey) const {
    const std::string_view key = keyWord();
    return !key.empty() && equalsFolded(key, foldedKey);
}

WrittenTerms splitQueryTerms(std::string_view query) {
    WrittenTerms out;
    bool inQuote = false;
    bool quoted = false;  // the current term has had a quote
    std::size_t start = std::string_view::npos;
    WrittenTerm current;
    const auto finish = [&](std::size_t end) {
        if (start != std::string_view::npos) {
            current.written = query.substr(start, end - start);
            out.terms.push_back(std::move(current));
        }
        current = WrittenTerm{};
        start = std::string_view::npos;
        quoted = false;
    };
    for (std::size_t i = 0; i < query.size(); ++i) {
        const char c = query[i];
        if (!inQuote && (c == ' ' || c == '\t')) {
            finish(i);
            continue;
        }
        if (start == std::string_view::npos) {
            start = i;
        }
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
    finish(query.size());
    out.balanced = !inQuote;
    return out;
}

}  // namespace korvantis
