#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "decode/time_value.h"
#include "query/filter_query.h"
#include "support/encoded_facts.h"

namespace korvantis {
namespace {

struct Row {
    RowView row;
    std::string raw;
};

using testsupport::encodedFacts;

// A small store: a process (100) that started 104, which started 200; a
// file row of an unrelated pid 7. Rows 0, 2 and 4 have facts; every row has
// its time value as the loader gives it, from its timestamp.
const std::vector<Row>& languageRows() {
    static const std::vector<Row> rows = [] {
        // clang-format off
        std::vector<Row> made = {
            {{RowKind::process, "ES_EVENT_TYPE_NOTIFY_EXEC", "1765000000.000200", "/bin/zsh", 100, 1, {}},
             R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","args":["-zsh"]})"},
            {{RowKind::process, "ES_EVENT_TYPE_NOTIFY_FORK", "1765000000.001000",
              "/Users/émilie/Library/Application Support/Ünïcode App/helper", 104, 100, {}},
             R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK"})"},
            {{RowKind::file, "ES_EVENT_TYPE_NOTIFY_OPEN", "1765000000.002000",
              "/Users/alice/project/.git/config", 104, 0, {}},
             R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","size":312})"},
            {{RowKind::file, "ES_EVENT_TYPE_NOTIFY_WRITE", "1765000000.003100", "C:foo/bar, \"q\"", 7, 0, {}},
             R"({"event":"ES_EVENT_TYPE_NOTIFY_WRITE"})"},
            {{RowKind::process, "ES_EVENT_TYPE_NOTIFY_EXEC", "1765000000.004000", "/usr/bin/git", 200, 104, {}},
             R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","signing_id":"com.apple.git"})"},
            {{RowKind::file, "ES_EVENT_TYPE_NOTIFY_CLOSE", "1765000000.005000", "/tmp/-x", 200, 0, {}},
             R"({"event":"ES_EVENT_TYPE_NOTIFY_CLOSE"})"},
        };
        // clang-format on
        made[0].row.facts = RowFacts(encodedFacts({{Fact::args, "zsh -c 'echo it'\\''s'"},
                                                   {Fact::uid, "501"},
                                                   {Fact::pidversion, "12"},
                                                   {Fact::responsible_pid, "100"},
                                                   {Fact::signing_id, "com.apple.zsh"},
                                                   {Fact::tty, "/dev/ttys001"},
                                                   {Fact::platform, "yes"}}));
        made[2].row.facts = RowFacts(encodedFacts({{Fact::uid, "0"},
                                                   {Fact::signing_id, "com.apple.git"},
                                                   {Fact::process_path, "/usr/bin/git"}}));
        made[4].row.facts = RowFacts(encodedFacts({{Fact::args, "git status"},
                                                   {Fact::uid, "501"},
                                                   {Fact::cwd, "/Users/alice/project"},
                                                   {Fact::team_id, "ABC123"}}));
        // Marks: tags as the marks keep them (sorted, joined), and notes.
        made[0].row.tags = "bookmark,dropper";
        made[0].row.note = "Ran CURL, then left";
        made[4].row.tags = "dropper";
        for (Row& r : made) {
            r.row.time = parseTimeValue(r.row.timestamp).value_or(kNoTimeValue);
        }
        return made;
    }();
    return rows;
}

std::vector<ProcessLink> linksOf(const std::vector<Row>& rows) {
    std::vector<ProcessLink> links;
    for (const Row& r : rows) {
        if ((r.row.kind == RowKind::process)) {
            links.push_back({r.row.pid, r.row.ppid});
        }
    }
    return links;
}

// Which rows a query shows, as a string of 0 and 1.
std::string shown(FilterQuery& query, const std::vector<Row>& rows) {
    query.bindTrees(linksOf(rows));
    std::string out;
    for (const Row& r : rows) {
        out += query.matches(r.row, [&] { return std::string_view(r.raw); }) ? '1' : '0';
    }
    return out;
}

// What the random comparison below cannot reach: quotes inside a term and
// around a key, keys it does not draw, exact integers, written time forms,
// error texts (which time texts are refused is the time parser's own table).
// (Quoted values with blanks or a leading dash, several terms, negation and
// non-ASCII bytes matched exactly are among what it draws.)
TEST(FilterQuery, Language) {
    const struct {
        const char* query;
        const char* expected;  // rows shown, or the start of the error text
    } cases[] = {
        // Empty queries and plain text.
        {"", "111111"},
        {" \t ", "111111"},
        {"c:FOO", "000100"},
        // Quoting: groups, never part of the text, and keeps a prefix literal.
        {"path:\"/bin/\"zsh", "100000"},
        {"\"path:zsh\"", "000000"},
        {"\"\"", "111111"},
        // Negation.
        {"-", "100001"},  // the args of 0 hold one
        {"--x", "111110"},
        // A number at its bound; an unknown key is text.
        {"pid:9223372036854775807", "000000"},
        {"other:x", "000000"},
        // Facts: integers exactly (a prefix of the number is no match), texts
        // as substrings; empty facts never match. (Every fact is found by its
        // name, as the keys the random comparison draws are.)
        {"UID:0501", "100010"},
        {"pidversion:1", "000000"},
        {"responsible_pid:10", "000000"},
        {"team_id:abc", "000010"},
        {"args:it'\\''s", "100000"},
        {"args:\"it's\"", "000000"},
        // A bare word reads no fact but args.
        {"ttys001", "000000"},
        // Time bounds in written forms the random bounds do not take
        // (1765000000 is 2025-12-06T05:46:40Z).
        {"after:2025-12-06T06:46:40.0045+01:00", "000001"},
        {"before:2025-12-06T05:46", "000000"},
        // Marks: a tag is whole and any case; a note is searched; plain text
        // reads neither.
        {"tag:DROPPER", "100010"},
        {"tag:drop", "000000"},
        {"-tag:bookmark", "011111"},
        {"note:curl,", "100000"},
        {"dropper", "000000"},
        // Errors.
        {"\"zsh", "unbalanced quote"},
        {"tag:", "empty value after tag:"},
        {"-note:", "empty value after note:"},
        {"path:\"a b", "unbalanced quote"},
        {"pid:", "empty value after pid:"},
        {"TYPE:", "empty value after type:"},
        {"path:\"\"", "empty value after path:"},
        {"-json:", "empty value after json:"},
        {"ppid:1.5", "ppid: needs a whole number"},
        {"tree:+3", "tree: needs a whole number"},
        {"pid:-", "pid: needs a whole number"},
        {"pid:99999999999999999999", "pid: 99999999999999999999 does not fit in 64 bits"},
        {"pidversion:x1", "pidversion: needs a whole number"},
        {"after:yesterday", "after: wants a time such as 2026-08-12T15:28 or 1765000000"},
        {"before:", "before: wants a time such as 2026-08-12T15:28 or 1765000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        ParsedFilterQuery parsed = parseFilterQuery(c.query);
        const std::string expected = c.expected;
        if (expected.find_first_not_of("01") == std::string::npos) {
            ASSERT_TRUE(parsed.query) << parsed.error;
            EXPECT_EQ(shown(*parsed.query, languageRows()), expected);
        } else {
            EXPECT_FALSE(parsed.query);
            EXPECT_EQ(parsed.error.rfind(expected, 0), 0u) << parsed.error;
        }
    }
}

// (That a json: term, negated or not, needs its raw line is what the filter
// passes over loaded logs show: they read raw lines only when told to.)
TEST(FilterQuery, TellsWhatCallersMustPrepare) {
    const ParsedFilterQuery plain = parseFilterQuery("zsh tree:5 -tree:7 tree:5");
    ASSERT_TRUE(plain.query);
    EXPECT_FALSE(plain.query->needsRawLine());
    EXPECT_EQ(plain.query->treeRoots(), (std::vector<std::int64_t>{5, 7}));
    // Which kinds' rows a pass may leave unread (process, file, other), and
    // which of the known types show a row by themselves (exec, fork, then
    // the file events; "-": the terms read more than the type).
    struct Case {
        const char* text;
        const char* kinds;
        const char* types;
    };
    const Case kinds[] = {
        {"type:exec", "101", "100000000"},
        {"type:open", "011", "001000000"},
        {"type:exec type:open", "001", "000000000"},
        {"-type:exec", "111", "011111111"},
        {"type:notify", "111", "111111111"},
        {"type:link -type:unlink", "011", "000000100"},
        {"type:exec path:x", "111", "-"},
        {"type:exec tags:x", "111", "-"},
        {"type:exec json:x", "111", "-"},
        {"type:exec outcome:x", "111", "-"},
    };
    for (const Case& c : kinds) {
        const ParsedFilterQuery parsed = parseFilterQuery(c.text);
        ASSERT_TRUE(parsed.query) << c.text;
        std::string may;
        for (const RowKind kind : kRowKinds) {
            may += parsed.query->mayMatchKind(kind) ? '1' : '0';
        }
        EXPECT_EQ(may, c.kinds) << c.text;
        const auto shown = parsed.query->typesShown();
        std::string types = shown ? "" : "-";
        for (std::size_t type = 0; shown && type < shown->size(); ++type) {
            types += (*shown)[type] ? '1' : '0';
        }
        EXPECT_EQ(types, c.types) << c.text;
    }
}

// (Reused pids that make a process its own ancestor are among what the
// random comparison below draws.)
TEST(DescendantPids, MillionDeepChain) {
    std::vector<ProcessLink> chain;
    constexpr std::int64_t kDepth = 1'000'000;
    for (std::int64_t pid = kDepth; pid >= 1; --pid) {
        chain.push_back({pid, pid - 1});
    }
    EXPECT_EQ(descendantPids(0, chain).size(), static_cast<std::size_t>(kDepth + 1));
    EXPECT_EQ(descendantPids(kDepth - 9, chain).size(), 10u);
}

// --- Differential test against a plain reference ---

bool plainContains(std::string_view haystack, std::string_view needle) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                       [&](char x, char y) { return lower(x) == lower(y); }) != haystack.end();
}

struct RefTerm {
    std::string key;  // "" for plain text
    bool negated = false;
    std::string value;
};

std::set<std::int64_t> referenceTree(std::int64_t root, const std::vector<Row>& rows) {
    std::set<std::int64_t> members{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const Row& r : rows) {
            if ((r.row.kind == RowKind::process) && members.count(r.row.ppid) &&
                !members.count(r.row.pid)) {
                members.insert(r.row.pid);
                grew = true;
            }
        }
    }
    return members;
}

bool referenceTermHolds(const RefTerm& t, const Row& r, const std::vector<Row>& rows) {
    const RowView& row = r.row;
    if (t.key == "pid") {
        return row.pid == std::stoll(t.value);
    }
    if (t.key == "ppid") {
        return (row.hasPpid()) && row.ppid == std::stoll(t.value);
    }
    if (t.key == "tree") {
        return referenceTree(std::stoll(t.value), rows).count(row.pid) > 0;
    }
    const std::map<std::string, std::string_view> texts = {
        {"type", row.type}, {"path", row.path}, {"time", row.timestamp}, {"json", r.raw}};
    if (const auto text = texts.find(t.key); text != texts.end()) {
        return plainContains(text->second, t.value);
    }
    if (t.key == "after" || t.key == "before") {
        const auto time = parseTimeValue(row.timestamp);
        const auto bound = parseTimeBound(t.value);
        return time && (t.key == "after" ? *time >= *bound : *time < *bound);
    }
    for (std::size_t i = 0; i < kFactCount; ++i) {
        if (t.key == kFactNames[i]) {
            const std::string_view fact = row.facts[static_cast<Fact>(i)];
            return isIntegerFact(static_cast<Fact>(i))
                       ? !fact.empty() && std::stoll(std::string(fact)) == std::stoll(t.value)
                       : !fact.empty() && plainContains(fact, t.value);
        }
    }
    return plainContains(row.timestamp, t.value) || plainContains(row.type, t.value) ||
           plainContains(row.facts[Fact::args], t.value) ||
           plainContains(row.facts[Fact::summary], t.value) ||
           plainContains(std::to_string(row.pid), t.value) || plainContains(row.path, t.value) ||
           ((row.hasPpid()) && plainContains(std::to_string(row.ppid), t.value));
}

bool referenceMatches(const std::vector<RefTerm>& terms, const Row& r,
                      const std::vector<Row>& rows) {
    for (const RefTerm& t : terms) {
        if (referenceTermHolds(t, r, rows) == t.negated) {
            return false;
        }
    }
    return true;
}

TEST(FilterQuery, AgreesWithPlainReference) {
    std::mt19937 rng(20261206);
    const auto pick = [&](std::size_t n) {
        return static_cast<std::size_t>(std::uniform_int_distribution<std::size_t>(0, n - 1)(rng));
    };
    // Pieces of texts: mixed case, non-ASCII letters (é and É differ in
    // their second byte only), quotes, commas, tabs, colons and dashes.
    // clang-format off
    const std::vector<std::string> fragments = {"/Users", "/tmp", "Library", "Application Support",
        "Ünïcode", "café", "CAFÉ", "-x", "a,b", "\"q\"", "zsh", "ZSH", "Git", ".git", "12", "x:y", "\t"};
    const std::vector<std::string> types = {"ES_EVENT_TYPE_NOTIFY_EXEC", "ES_EVENT_TYPE_NOTIFY_FORK",
        "ES_EVENT_TYPE_NOTIFY_OPEN", "es_event_type_notify_write"};
    // Both forms, the same moment in both, and texts without a time value.
    const std::vector<std::string> timestamps = {"1765000012.5", "1765000000.0",
        "2025-12-06T05:46:52.500000000Z", "2025-12-06T06:46:40+01:00", "1765000000.0 ", "", "-1"};
    const std::vector<std::string> bounds = {"1765000000", "1765000012.5", "2025-12-06T05:46:40",
        "2025-12-06", "2025-12-06T05:46:52.5Z", "0"};
    // clang-format on
    const auto randomText = [&](std::size_t parts) {
        std::string text;
        for (std::size_t i = 0; i < parts; ++i) {
            text += fragments[pick(fragments.size())];
        }
        return text;
    };
    const auto flipCase = [&](std::string text) {
        for (char& c : text) {
            if (std::isalpha(static_cast<unsigned char>(c)) && pick(2) == 0) {
                c = static_cast<char>(c ^ 0x20);
            }
        }
        return text;
    };

    for (int round = 0; round < 40; ++round) {
        // Pids close together, and pids far apart (kept in hash tables).
        const std::int64_t spread = round % 2 ? 1 : 1'000'000'007;
        const auto randomPid = [&] { return (static_cast<std::int64_t>(pick(25)) - 2) * spread; };
        std::vector<Row> rows(60);
        std::vector<std::string> owned(2 * rows.size());  // paths and facts
        for (std::size_t i = 0; i < rows.size(); ++i) {
            RowView& r = rows[i].row;
            // Process, other and file rows; only process rows make the tree.
            const std::size_t kind = pick(3);
            r.kind = kind == 0 ? RowKind::process : kind == 1 ? RowKind::other : RowKind::file;
            rows[i].raw = "{\"sig\":\"" + randomText(1 + pick(3)) + "\"}";
            r.pid = randomPid();
            r.ppid = randomPid();
            r.type = types[pick(types.size())];
            r.timestamp = timestamps[pick(timestamps.size())];
            r.time = parseTimeValue(r.timestamp).value_or(kNoTimeValue);
            // Paths of every length, short ones and ones longer than a vector.
            r.path = owned[2 * i] = randomText(pick(9));
            // Some rows with facts, some without, some with a few empty.
            if (pick(3) == 0) {
                continue;
            }
            RowFactsBuilder builder;
            builder.set(Fact::args, randomText(pick(4)));
            builder.set(Fact::signing_id, randomText(pick(2)));
            builder.set(Fact::uid, pick(4) ? std::to_string(randomPid()) : "");
            if ((r.kind == RowKind::other)) {
                builder.set(Fact::summary, randomText(pick(3)));
            }
            const std::string& facts = owned[2 * i + 1] = builder.encode();
            r.facts = RowFacts(facts.empty() ? nullptr : facts.data());
        }

        for (int q = 0; q < 50; ++q) {
            static const char* const kKeys[] = {"",     "",           "pid",     "ppid",  "tree",
                                                "type", "path",       "time",    "json",  "uid",
                                                "args", "signing_id", "summary", "after", "before"};
            std::vector<RefTerm> terms(1 + pick(3));
            std::string text;
            for (RefTerm& t : terms) {
                t.key = kKeys[pick(std::size(kKeys))];
                t.negated = pick(4) == 0;
                const Row& source = rows[pick(rows.size())];
                if (t.key == "pid" || t.key == "ppid" || t.key == "tree" || t.key == "uid") {
                    t.value = std::to_string(randomPid());
                } else if (t.key == "after" || t.key == "before") {
                    t.value = bounds[pick(bounds.size())];
                } else {
                    std::string from = t.key == "type"   ? std::string(source.row.type)
                                       : t.key == "time" ? std::string(source.row.timestamp)
                                       : t.key == "json" ? source.raw
                                       : t.key == "args" ? std::string(source.row.facts[Fact::args])
                                       : t.key == "signing_id"
                                           ? std::string(source.row.facts[Fact::signing_id])
                                       : t.key == "summary" || pick(5) == 0
                                           ? std::string(source.row.facts[Fact::summary])
                                       : pick(4) == 0 ? std::to_string(source.row.pid)
                                                      : std::string(source.row.path);
                    from.erase(std::remove(from.begin(), from.end(), '"'), from.end());
                    if (from.empty() || pick(5) == 0) {
                        from = randomText(1);
                        from.erase(std::remove(from.begin(), from.end(), '"'), from.end());
                    }
                    const std::size_t start = pick(from.size());
                    t.value = flipCase(from.substr(start, 1 + pick(from.size() - start)));
                }
                // Quote what would otherwise split or read as a prefix.
                const bool quote = t.value.find_first_of(" \t:") != std::string::npos ||
                                   t.value.front() == '-' || pick(4) == 0;
                text += t.negated ? "-" : "";
                text += t.key.empty() ? "" : flipCase(t.key) + ":";
                text += quote ? "\"" + t.value + "\"" : t.value;
                text += pick(2) ? " " : " \t ";
            }
            SCOPED_TRACE(text);
            ParsedFilterQuery parsed = parseFilterQuery(text);
            ASSERT_TRUE(parsed.query) << parsed.error;
            parsed.query->bindTrees(linksOf(rows));
            for (const Row& r : rows) {
                ASSERT_EQ(parsed.query->matches(r.row, [&] { return std::string_view(r.raw); }),
                          referenceMatches(terms, r, rows))
                    << "path [" << r.row.path << "] pid " << r.row.pid;
            }
        }
    }
}

}  // namespace
}  // namespace korvantis
