#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/row_facts.h"

namespace korvantis {

// Edits that the row actions make to a filter query's text. The rest of the
// text stays as the user wrote it (terms are rejoined with one space), so the
// user sees the edit and can change it.

// Drops every `pid:` and `tree:` term that is not negated and adds
// `KEY:PID` (KEY is "pid" or "tree").
std::string withProcessTerm(std::string_view query, std::string_view key, std::int64_t pid);

// Adds `-path:"PATH"` unless the query has that term already. The language
// has no way to write a double quote inside a term, so a path holding one is
// cut short before it (which hides at least that path). Unchanged for an
// empty path.
std::string withHiddenPath(std::string_view query, std::string_view path);

// Drops every term of `fact`'s key that is not negated and adds one that
// keeps the rows with `value`: `uid:501`, `signing_id:"com.apple.ls"` (a
// text cut short before any double quote, like a path). Unchanged for an
// empty value.
std::string withFactTerm(std::string_view query, Fact fact, std::string_view value);

// The same for a key that matches a part of a text (`type`, `path`, ...):
// `KEY:"TEXT"` in place of the key's terms that are not negated.
std::string withTextTerm(std::string_view query, std::string_view key, std::string_view text);

// Drops the terms of `previous` (as written, each once) from `query` and adds
// `added`: an edit that replaces what an earlier edit of its own added and
// keeps every term the user wrote.
std::string withReplacedTerms(std::string_view query, std::string_view previous,
                              std::string_view added);

// `"TEXT"`: a value of a key that matches a part of a text, cut before any
// double quote (the language cannot write one inside a term).
std::string quotedValue(std::string_view text);

// Drops every `after:` and `before:` term that is not negated and adds
// `after:FROM before:TO` (FROM and TO written as UTC instants, both time
// values), so that the query keeps the rows of [from, to); the other only
// drops them.
std::string withTimeRange(std::string_view query, std::int64_t from, std::int64_t to);
std::string withoutTimeRange(std::string_view query);

}  // namespace korvantis
