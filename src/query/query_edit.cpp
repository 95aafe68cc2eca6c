#include "query/query_edit.h"

#include <algorithm>
#include <vector>

#include "decode/time_value.h"
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
    for (const WrittenTerm& t : writtenTerms(query)) {
        if (!startsWithKey(t, key)) {
            kept.push_back(t.written);
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

std::string withReplacedTerms(std::string_view query, std::string_view previous,
                              std::string_view added) {
    std::vector<WrittenTerm> dropped = writtenTerms(previous);
    std::vector<std::string_view> kept;
    for (const WrittenTerm& t : writtenTerms(query)) {
        const auto same = std::find_if(dropped.begin(), dropped.end(), [&](const WrittenTerm& d) {
            return d.written == t.written;
        });
        if (same != dropped.end()) {
            dropped.erase(same);
        } else {
            kept.push_back(t.written);
        }
    }
    return joined(kept, std::string(added));
}

std::string quotedValue(std::string_view text) {
    return "\"" + std::string(text.substr(0, text.find('"'))) + "\"";
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
