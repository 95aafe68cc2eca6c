#pragma once

#include <bitset>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "decode/event_kinds.h"
#include "query/folded_search.h"
#include "query/pid_set.h"
#include "store/row_fields.h"
#include "store/row_view.h"

namespace korvantis {

// Hands out a row's raw line on demand, so a store that has to read it back
// from the log does so only for rows a `json:` term actually looks at. Holds
// a reference to a callable; it does not own it.
class RawLineRef {
  public:
    RawLineRef() = default;
    template <typename F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, RawLineRef>)
        RawLineRef(F&& fetch)  // NOLINT(google-explicit-constructor): passed inline
        : callable_(const_cast<void*>(static_cast<const void*>(std::addressof(fetch)))),
          call_([](void* callable) -> std::string_view {
              return (*static_cast<std::remove_reference_t<F>*>(callable))();
          }) {}
    // The empty text when no source was given.
    std::string_view operator()() const { return call_ ? call_(callable_) : std::string_view{}; }

  private:
    void* callable_ = nullptr;
    std::string_view (*call_)(void*) = nullptr;
};

// A parsed filter. A row matches when it matches every term; an empty query
// matches every row. Matching allocates nothing and keeps no state, so one
// query may be used from several threads at once.
class FilterQuery {
  public:
    // `field` is one of the row's fields, named by Term::field (see the table
    // of fields); the others are keys of their own.
    enum class Key { plain, field, tree, json, after, before };
    struct Term {
        Key key = Key::plain;
        FieldId field = FieldId::kind;  // field terms
        bool negated = false;
        std::string text;                    // the value as written, quotes removed
        std::string folded;                  // `text` with ASCII letters in lower case
        std::int64_t number = 0;             // integer field and tree values; after/before moments
        bool numeric = false;                // `text` could be the decimal form of a number
        std::shared_ptr<const PidSet> tree;  // tree terms, once bound
    };

    // What of a row, beyond the texts and numbers its list keeps, some term
    // reads: a pass that fills in only these spares every row the look-ups
    // of the others.
    struct Extras {
        bool ruleHits = false;
        bool outcome = false;
        bool marks = false;  // tags and note
    };

    bool empty() const { return terms_.empty(); }
    Extras extras() const;
    const std::vector<Term>& terms() const { return terms_; }

    // Whether some term reads the raw line: callers that have to fetch raw
    // lines can skip that work when not.
    bool needsRawLine() const;
    // The parts of a row that the terms read (see RowPart): a row needs no
    // others to be matched.
    RowParts rowParts() const;
    // Whether a row of `kind` could match at all: false only when the terms
    // read nothing of a row but its kind and type, and the query holds for
    // none of the types a process (or file) row can have. A pass over the
    // rows can then leave that kind's rows unread.
    bool mayMatchKind(RowKind kind) const;
    // The known event types (by their place in kEventKindNames) whose
    // process and file rows the query shows, when the terms read nothing of
    // such a row but its kind and type: a pass can then tell each of those
    // rows by its type alone. Nothing when some term reads more.
    using EventTypes = std::bitset<kEventKindNames.size()>;
    std::optional<EventTypes> typesShown() const;
    // The N of every `tree:N` term, each once, in the order written.
    std::vector<std::int64_t> treeRoots() const;
    // Gives the `tree:root` terms their set (see descendantPids). A tree term
    // left unbound matches the root's own rows only.
    void bindTree(std::int64_t root, std::shared_ptr<const PidSet> members);
    // Binds every tree term from the process rows of the store.
    void bindTrees(std::span<const ProcessLink> processes);

    bool matches(const RowView& row, RawLineRef rawLine = {}) const;

  private:
    friend struct FilterQueryParser;
    std::vector<Term> terms_;  // cheap terms first, raw-line terms last
};

// What a query makes of one row.
enum class RowMatch : std::uint8_t {
    hidden,
    shown,
    // A term needs the row's raw line and it could not be read again: the
    // row is neither shown nor hidden, as no text stands in for its line.
    unreadable,
};

// `query` on `row`, whose raw line `fetch` gives on demand: anything that
// tests as false when it could not be read (an optional, a ReadBack).
template <typename Fetch>
RowMatch matchRow(const FilterQuery& query, const RowView& row, Fetch&& fetch) {
    bool unreadable = false;
    auto raw = [&]() -> std::string_view {
        const auto& line = fetch();
        if (!line) {
            unreadable = true;
            return {};
        }
        return std::string_view(*line);
    };
    const bool shown = query.matches(row, raw);
    return unreadable ? RowMatch::unreadable : shown ? RowMatch::shown : RowMatch::hidden;
}

struct ParsedFilterQuery {
    std::optional<FilterQuery> query;  // when the text is a valid query
    std::string error;                 // otherwise, what is wrong with it
};

// Parses the filter language:
// - terms are split at spaces and tabs outside double quotes; quotes group
//   and are dropped; an unclosed quote is an error;
// - a term of more than one character starting with an unquoted `-` is
//   negated;
// - `key:value` with an unquoted key among tree, json, after, before and the
//   fields' filter keys (any ASCII case) is a keyed term; its value must not
//   be empty, for tree and the integer fields must be a decimal 64-bit
//   integer, and for a ranked field (level) must name a rank;
// - `after:T` and `before:T` keep rows whose time value is at or after T,
//   or before T (see parseTimeBound); a row without one matches neither;
// - anything else is plain text, matched against the fields the table marks
//   plain: the text of a text field, the digits of a number (for a term
//   that could be one).
ParsedFilterQuery parseFilterQuery(std::string_view text);

}  // namespace korvantis
