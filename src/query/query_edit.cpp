#include "query/query_edit.h"

#include <vector>

#include "ingest/time_value.h"

namespace korvantis {

namespace {

// The terms as written: split at spaces and tabs outside double quotes.
std::vector<std::string_view> writtenTerms(std::string_view query) {
    std::vector<std::string_view> terms;
    bool inQuote = false;
    std::size_t start = std::string_view::npos;
    for (std::size_t i = 0; i <= query.size(); ++i) {
        const bool end = i == query.size();
        const char c = end ? ' ' : query[i];
        if (!end && c == '"') {
            inQuote = !inQuote;
        }
        const bool blank = (c == ' ' || c == '\t') && (!inQuote || end);
        if (blank) {
            if (start != std::string_view::npos) {
                terms.push_back(query.substr(start, i - start));
                start = std::string_view::npos;
            }
        } else if (start == std::string_view::npos) {
            start = i;
        }
    }
    return terms;
}

bool startsWithKey(std::string_view term, std::string_view key) {
    if (term.size() <= key.size() || term[key.size()] != ':') {
        return false;
    }
    for (std::size_t i = 0; i < key.size(); ++i) {
        const char c = term[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != key[i]) {
            return false;
        }
    }
    return true;
}

std::string joined(const std::vector<std::string_view>& terms, const std::string& last) {
    std::string out;
    for (const std::string_view t : terms) {
        out += t;
        out += ' ';
    }
    return out + last;
}

}  // namespace

std::string withProcessTerm(std::string_view query, std::string_view key, std::int64_t pid) {
    std::vector<std::string_view> kept;
    for (const std::string_view t : writtenTerms(query)) {
        if (!startsWithKey(t, "pid") && !startsWithKey(t, "tree")) {
            kept.push_back(t);
        }
    }
    return joined(kept, std::string(key) + ":" + std::to_string(pid));
}

std::string withHiddenPath(std::string_view query, std::string_view path) {
    path = path.substr(0, path.find('"'));
    if (path.empty()) {
        return std::string(query);
    }
    const std::vector<std::string_view> terms = writtenTerms(query);
    const std::string term = "-path:\"" + std::string(path) + "\"";
    for (const std::string_view t : terms) {
        if (t == term) {
            return std::string(query);
        }
    }
    return joined(terms, term);
}

namespace {

// Drops the key's terms that are not negated and adds `KEY:WRITTEN`, where
// WRITTEN is `value` cut before any double quote, quoted unless `bare`.
std::string withKeyTerm(std::string_view query, std::string_view key, std::string_view value,
                        bool bare) {
    value = value.substr(0, value.find('"'));
    if (value.empty()) {
        return std::string(query);
    }
    std::vector<std::string_view> kept;
    for (const std::string_view t : writtenTerms(query)) {
        if (!startsWithKey(t, key)) {
            kept.push_back(t);
        }
    }
    const std::string written = bare ? std::string(value) : "\"" + std::string(value) + "\"";
    return joined(kept, std::string(key) + ":" + written);
}

}  // namespace

std::string withFactTerm(std::string_view query, Fact fact, std::string_view value) {
    return withKeyTerm(query, kFactNames[static_cast<std::size_t>(fact)], value,
                       isIntegerFact(fact));
}

std::string withTextTerm(std::string_view query, std::string_view key, std::string_view text) {
    return withKeyTerm(query, key, text, false);
}

namespace {

std::vector<std::string_view> withoutTimeTerms(std::string_view query) {
    std::vector<std::string_view> kept;
    for (const std::string_view t : writtenTerms(query)) {
        if (!startsWithKey(t, "after") && !startsWithKey(t, "before")) {
            kept.push_back(t);
        }
    }
    return kept;
}

}  // namespace

std::string withTimeRange(std::string_view query, std::int64_t from, std::int64_t to) {
    return joined(withoutTimeTerms(query), "after:" + formatUtc(from) + " before:" + formatUtc(to));
}

std::string withoutTimeRange(std::string_view query) {
    const std::vector<std::string_view> kept = withoutTimeTerms(query);
    std::string out = joined(kept, "");
    if (!out.empty()) {
        out.pop_back();  // the space before the empty last term
    }
    return out;
}

}  // namespace korvantis
