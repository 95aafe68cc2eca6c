#include "query/query_edit.h"

#include <vector>

#include "ingest/time_value.h"
#include "query/query_terms.h"

namespace korvantis {

namespace {

// The terms as written.
std::vector<WrittenTerm> writtenTerms(std::string_view query) {
    return splitQueryTerms(query).terms;
}

// Whether `term` keeps rows by `key` (it is not negated).
bool startsWithKey(const WrittenTerm& term, std::string_view key) {
    return !term.negated() && term.hasKey(key);
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
    for (const WrittenTerm& t : writtenTerms(query)) {
        if (!startsWithKey(t, "pid") && !startsWithKey(t, "tree")) {
            kept.push_back(t.written);
        }
    }
    return joined(kept, std::string(key) + ":" + std::to_string(pid));
}

std::string withHiddenPath(std::string_view query, std::string_view path) {
    path = path.substr(0, path.find('"'));
    if (path.empty()) {
        return std::string(query);
    }
    std::vector<std::string_view> terms;
    for (const WrittenTerm& t : writtenTerms(query)) {
        terms.push_back(t.written);
    }
    const std::string term = "-path:\"" + std::string(path) + "\"";
    for (const std::string_view t : terms) {
        if (t == term) {
            return std::string(query);
        }
    }
    return joined(terms, term);
}

std::string withFactTerm(std::string_view query, Fact fact, std::string_view value) {
    value = value.substr(0, value.find('"'));
    if (value.empty()) {
        return std::string(query);
    }
    const std::string_view key = kFactNames[static_cast<std::size_t>(fact)];
    std::vector<std::string_view> kept;
    for (const WrittenTerm& t : writtenTerms(query)) {
        if (!startsWithKey(t, key)) {
            kept.push_back(t.written);
        }
    }
    const std::string written =
        isIntegerFact(fact) ? std::string(value) : "\"" + std::string(value) + "\"";
    return joined(kept, std::string(key) + ":" + written);
}

namespace {

std::vector<std::string_view> withoutTimeTerms(std::string_view query) {
    std::vector<std::string_view> kept;
    for (const WrittenTerm& t : writtenTerms(query)) {
        if (!startsWithKey(t, "after") && !startsWithKey(t, "before")) {
            kept.push_back(t.written);
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
