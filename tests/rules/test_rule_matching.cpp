// The matcher against a plain reference of the matching rules: random rules
// written as YAML, loaded, and tested on random rows, each answer compared
// with what the reference makes of the same rule.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
// GCC 12 warns of members of std::function "maybe used uninitialized" deep
// in the regex headers when it inlines them with the sanitizers on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <string>
#include <vector>

#include "rules/rule_set.h"

namespace korvantis {
namespace {

// --- The reference ---

// A text as its UTF-8 characters.
std::vector<std::string> characters(std::string_view text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t n = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        out.emplace_back(text.substr(i, n));
        i += n;
    }
    return out;
}

std::string lower(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

// A value's pattern: a character to match, `?` or `*`.
struct Token {
    enum { literal, one, run } kind;
    std::string character;
};

std::vector<Token> tokens(std::string_view value, const std::string& wrap) {
    std::vector<Token> out;
    if (wrap == "contains" || wrap == "endswith") {
        out.push_back({Token::run, {}});
    }
    const std::vector<std::string> chars = characters(value);
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const std::string& c = chars[i];
        if (c == "\\" && i + 1 < chars.size() &&
            (chars[i + 1] == "*" || chars[i + 1] == "?" || chars[i + 1] == "\\")) {
            out.push_back({Token::literal, chars[++i]});
        } else if (c == "*") {
            out.push_back({Token::run, {}});
        } else if (c == "?") {
            out.push_back({Token::one, {}});
        } else {
            out.push_back({Token::literal, c});
        }
    }
    if (wrap == "contains" || wrap == "startswith") {
        out.push_back({Token::run, {}});
    }
    return out;
}

// Plain backtracking over characters.
bool globMatches(const std::vector<Token>& p, std::size_t i, const std::vector<std::string>& t,
                 std::size_t j, bool cased) {
    if (i == p.size()) {
        return j == t.size();
    }
    switch (p[i].kind) {
        case Token::run:
            for (std::size_t k = j; k <= t.size(); ++k) {
                if (globMatches(p, i + 1, t, k, cased)) {
                    return true;
                }
            }
            return false;
        case Token::one:
            return j < t.size() && globMatches(p, i + 1, t, j + 1, cased);
        case Token::literal:
            return j < t.size() &&
                   (cased ? p[i].character == t[j] : lower(p[i].character) == lower(t[j])) &&
                   globMatches(p, i + 1, t, j + 1, cased);
    }
    return false;
}

// --- Random rules ---

struct Value {
    enum { text, integer, null } kind = text;
    std::string word;  // text: as it goes in the YAML; integer: its digits
};

struct Item {
    std::string field;
    std::vector<std::string> modifiers;
    std::vector<Value> values;
};

struct Sel {
    bool keywords = false;
    bool allKeywords = false;
    std::vector<std::vector<Item>> alternatives;  // or, for keywords, one item's values
    std::vector<Value> words;
};

struct Cond {
    enum Op { id, notOp, andOp, orOp, oneOf, allOf } op = id;
    std::string name;  // id; or the pattern of oneOf/allOf
    std::vector<Cond> items;
};

const std::vector<std::string> kFields = {"Image", "CommandLine", "TargetFilename",
                                          "uid",   "ParentImage", "User"};
const std::vector<std::string> kNames = {"sel", "sel_b", "filter_a", "_quiet"};

class Random {
  public:
    explicit Random(unsigned seed) : engine_(seed) {}
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }
    bool chance(int percent) { return below(100) < percent; }
    std::string text(bool pattern) {
        static const std::vector<std::string> plain = {"a", "A", "b", "/", "/", "é", " ", "1"};
        static const std::vector<std::string> special = {"*", "?", "\\", "\\*", "\\?", "\\\\"};
        std::string out;
        const int n = below(5);
        for (int i = 0; i < n; ++i) {
            out +=
                pattern && chance(30) ? special[below(special.size())] : plain[below(plain.size())];
        }
        return out;
    }
    std::string number() { return std::to_string(below(30) - 5); }

  private:
    std::mt19937 engine_;
};

std::string yamlQuoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

std::string yamlOf(const Value& v) {
    return v.kind == Value::null ? "null" : v.kind == Value::integer ? v.word : yamlQuoted(v.word);
}

Item randomItem(Random& r) {
    Item item;
    item.field = kFields[r.below(kFields.size())];
    const int kind = r.below(10);
    auto values = [&](bool numbers, bool nulls) {
        const int n = 1 + r.below(3);
        for (int i = 0; i < n; ++i) {
            Value v;
            if (nulls && r.chance(10)) {
                v.kind = r.chance(50) ? Value::null : Value::text;
            } else if (numbers || r.chance(15)) {
                v = {Value::integer, r.number()};
            } else {
                v.word = r.text(true);
            }
            item.values.push_back(v);
        }
    };
    if (kind < 6) {
        static const std::vector<std::string> wraps = {"", "contains", "startswith", "endswith"};
        if (const std::string w = wraps[r.below(4)]; !w.empty()) {
            item.modifiers.push_back(w);
        }
        if (r.chance(20)) {
            item.modifiers.push_back("cased");
        }
        values(false, true);
    } else if (kind == 6) {
        item.modifiers.push_back("re");
        if (r.chance(40)) {
            item.modifiers.push_back("i");
        }
        static const std::vector<std::string> res = {"^a", "b$", "a+b", "[aA]1", "^/", "A", "1 ?a"};
        item.values.push_back({Value::text, res[r.below(res.size())]});
    } else if (kind == 7) {
        item.modifiers.push_back("exists");
        item.values.push_back({Value::integer, r.chance(50) ? "true" : "false"});  // plain
    } else if (kind == 8) {
        static const std::vector<std::string> cmps = {"lt", "lte", "gt", "gte"};
        item.modifiers.push_back(cmps[r.below(4)]);
        values(true, false);
    } else {
        item.modifiers.push_back("fieldref");
        if (r.chance(30)) {
            item.modifiers.push_back("cased");
        }
        item.values.push_back({Value::text, kFields[r.below(kFields.size())]});
    }
    if (item.values.size() > 1 && r.chance(30)) {
        item.modifiers.push_back("all");
    }
    return item;
}

Sel randomSelection(Random& r) {
    Sel sel;
    if (r.chance(20)) {
        sel.keywords = true;
        sel.allKeywords = r.chance(30);
        const int n = 1 + r.below(3);
        for (int i = 0; i < n; ++i) {
            sel.words.push_back(r.chance(20) ? Value{Value::integer, r.number()}
                                             : Value{Value::text, r.text(true)});
        }
        return sel;
    }
    const int alternatives = r.chance(25) ? 2 : 1;
    for (int a = 0; a < alternatives; ++a) {
        std::vector<Item> items;
        const int n = 1 + r.below(2);
        for (int i = 0; i < n; ++i) {
            Item item = randomItem(r);
            // A mapping repeats no key.
            const auto same = [&](const Item& o) {
                return o.field == item.field && o.modifiers == item.modifiers;
            };
            if (std::none_of(items.begin(), items.end(), same)) {
                items.push_back(item);
            }
        }
        sel.alternatives.push_back(items);
    }
    return sel;
}

Cond randomCondition(Random& r, int depth) {
    const int op = depth > 2 ? r.below(3) : r.below(7);
    if (op <= 1) {
        return {Cond::id, kNames[r.below(kNames.size())], {}};
    }
    if (op == 2) {
        static const std::vector<std::string> patterns = {"them", "sel*", "filter_*", "*"};
        return {r.chance(50) ? Cond::oneOf : Cond::allOf, patterns[r.below(4)], {}};
    }
    if (op == 3) {
        return {Cond::notOp, {}, {randomCondition(r, depth + 1)}};
    }
    Cond c{op == 4 ? Cond::andOp : Cond::orOp, {}, {}};
    const int n = 2 + r.below(2);
    for (int i = 0; i < n; ++i) {
        c.items.push_back(randomCondition(r, depth + 1));
    }
    return c;
}

// Written with only the parentheses precedence needs.
std::string conditionText(const Cond& c, int outer) {
    const int rank = c.op == Cond::orOp ? 1 : c.op == Cond::andOp ? 2 : 3;
    std::string out;
    switch (c.op) {
        case Cond::id:
            return c.name;
        case Cond::oneOf:
            return std::string(c.name.size() % 2 ? "1" : "any") + " of " + c.name;
        case Cond::allOf:
            return "all of " + c.name;
        case Cond::notOp:
            return "not " + conditionText(c.items[0], 3);
        case Cond::andOp:
        case Cond::orOp:
            for (std::size_t i = 0; i < c.items.size(); ++i) {
                out += (i ? (c.op == Cond::andOp ? " and " : " or ") : "") +
                       conditionText(c.items[i], rank);
            }
            return rank <= outer ? "(" + out + ")" : out;
    }
    return out;
}

std::string ruleYaml(const std::vector<Sel>& sels, const Cond& cond) {
    std::string y =
        "title: random\nlogsource:\n  product: macos\n  category: process_creation\n"
        "detection:\n";
    for (std::size_t s = 0; s < sels.size(); ++s) {
        const Sel& sel = sels[s];
        y += "  " + kNames[s] + ":\n";
        if (sel.keywords) {
            y += sel.allKeywords ? "    '|all':\n" : "";
            for (const Value& w : sel.words) {
                y += std::string(sel.allKeywords ? "      - " : "    - ") + yamlOf(w) + "\n";
            }
            continue;
        }
        for (const std::vector<Item>& items : sel.alternatives) {
            const bool list = sel.alternatives.size() > 1;
            bool first = true;
            for (const Item& item : items) {
                std::string key = item.field;
                for (const std::string& m : item.modifiers) {
                    key += "|" + m;
                }
                y += std::string(list ? (first ? "    - " : "      ") : "    ") + yamlQuoted(key) +
                     ":\n";
                first = false;
                for (const Value& v : item.values) {
                    y += std::string(list ? "        - " : "      - ") + yamlOf(v) + "\n";
                }
            }
        }
    }
    return y + "  condition: " + yamlQuoted(conditionText(cond, 0)) + "\n";
}

// --- The reference's answers ---

using Row = std::map<std::string, std::string>;  // fields; absent or empty is null

std::string fieldOf(const Row& row, const std::string& name) {
    const auto it = row.find(name);
    return it == row.end() ? std::string() : it->second;
}

bool refValue(const Item& item, const Value& v, const Row& row) {
    const auto has = [&](const std::string& m) {
        return std::find(item.modifiers.begin(), item.modifiers.end(), m) != item.modifiers.end();
    };
    const std::string field = item.field == "User" ? std::string() : fieldOf(row, item.field);
    const bool isNull = field.empty();
    const std::string text = v.kind == Value::null ? std::string() : v.word;
    if (has("exists")) {
        return (text == "true") != isNull;
    }
    if (has("lt") || has("lte") || has("gt") || has("gte")) {
        long long n = 0;
        try {
            std::size_t used = 0;
            n = std::stoll(field, &used);
            if (used != field.size() || field[0] == '+' || field[0] == ' ') {
                return false;
            }
        } catch (...) {
            return false;
        }
        const long long want = std::stoll(v.word);
        return has("lt") ? n < want : has("lte") ? n <= want : has("gt") ? n > want : n >= want;
    }
    if (has("fieldref")) {
        const std::string other = v.word == "User" ? std::string() : fieldOf(row, v.word);
        return !isNull && !other.empty() &&
               (has("cased") ? field == other : lower(field) == lower(other));
    }
    if (text.empty()) {
        return isNull;
    }
    if (isNull) {
        return false;
    }
    if (has("re")) {
        auto flags = std::regex::ECMAScript;
        if (has("i")) {
            flags |= std::regex::icase;
        }
        return std::regex_search(field, std::regex(text, flags));
    }
    std::string wrap;
    for (const char* w : {"contains", "startswith", "endswith"}) {
        wrap = has(w) ? w : wrap;
    }
    return globMatches(tokens(text, wrap), 0, characters(field), 0, has("cased"));
}

bool refItem(const Item& item, const Row& row) {
    const bool all =
        std::find(item.modifiers.begin(), item.modifiers.end(), "all") != item.modifiers.end();
    for (const Value& v : item.values) {
        if (refValue(item, v, row) != all) {
            return !all;
        }
    }
    return all;
}

bool refSelection(const Sel& sel, const Row& row, const std::string& line) {
    if (sel.keywords) {
        for (const Value& w : sel.words) {
            const bool found =
                globMatches(tokens(w.word, "contains"), 0, characters(line), 0, false);
            if (found != sel.allKeywords) {
                return found;
            }
        }
        return sel.allKeywords;
    }
    return std::any_of(sel.alternatives.begin(), sel.alternatives.end(), [&](const auto& items) {
        return std::all_of(items.begin(), items.end(),
                           [&](const Item& item) { return refItem(item, row); });
    });
}

bool refCondition(const Cond& c, const std::function<bool(const std::string&)>& holds,
                  std::size_t count) {
    switch (c.op) {
        case Cond::id:
            return holds(c.name);
        case Cond::notOp:
            return !refCondition(c.items[0], holds, count);
        case Cond::andOp:
            return std::all_of(c.items.begin(), c.items.end(),
                               [&](const Cond& i) { return refCondition(i, holds, count); });
        case Cond::orOp:
            return std::any_of(c.items.begin(), c.items.end(),
                               [&](const Cond& i) { return refCondition(i, holds, count); });
        case Cond::oneOf:
        case Cond::allOf: {
            bool any = false, all = true;
            for (std::size_t s = 0; s < count; ++s) {
                const std::string& name = kNames[s];
                const bool wanted = c.name == "them" ? name[0] != '_'
                                                     : globMatches(tokens(c.name, ""), 0,
                                                                   characters(name), 0, true);
                if (wanted) {
                    any = any || holds(name);
                    all = all && holds(name);
                }
            }
            return c.op == Cond::oneOf ? any : all;
        }
    }
    return false;
}

// Whether the condition names only identifiers that exist, each pattern
// matching one at least.
bool conditionValid(const Cond& c, std::size_t count) {
    const auto exists = [&](const std::string& n) {
        return std::find(kNames.begin(), kNames.begin() + count, n) != kNames.begin() + count;
    };
    switch (c.op) {
        case Cond::id:
            return exists(c.name);
        case Cond::oneOf:
        case Cond::allOf:
            for (std::size_t s = 0; s < count; ++s) {
                if (c.name == "them"
                        ? kNames[s][0] != '_'
                        : globMatches(tokens(c.name, ""), 0, characters(kNames[s]), 0, true)) {
                    return true;
                }
            }
            return false;
        default:
            return std::all_of(c.items.begin(), c.items.end(),
                               [&](const Cond& i) { return conditionValid(i, count); });
    }
}

TEST(RuleMatching, AgreesWithThePlainReference) {
    Random r(36);
    int loaded = 0, held = 0, unknown = 0, shared = 0;
    // Fifty rules a file: each file is parsed in a process of its own.
    struct RandomRule {
        std::vector<Sel> sels;
        Cond cond;
        std::string yaml;
    };
    std::vector<RandomRule> batch;
    RuleSet set;
    std::size_t ruleAt = 0;
    for (int n = 0; n < 1500; ++n) {
        if (n % 50 == 0) {
            batch.clear();
            std::string text;
            for (int k = 0; k < 50; ++k) {
                RandomRule made;
                const int count = 1 + r.below(4);
                for (int s = 0; s < count; ++s) {
                    made.sels.push_back(randomSelection(r));
                }
                made.cond = randomCondition(r, 0);
                made.yaml = ruleYaml(made.sels, made.cond);
                text += "---\n" + made.yaml;
                batch.push_back(std::move(made));
            }
            set = RuleSet();
            loadRuleText(text, "random.yml", set);
            ASSERT_EQ(set.entries.size(), 50u);
            // Items, and patterns, written alike in two rules are tested
            // once a row.
            std::set<std::uint32_t> seen;
            for (const SigmaRule& rule : set.rules) {
                std::set<std::uint32_t> own;
                for (const Selection& s : rule.selections) {
                    for (const auto& items : s.alternatives) {
                        for (const FieldItem& item : items) {
                            own.insert(item.shared);
                            for (const RuleValue& value : item.values) {
                                if (value.kind == RuleValue::Kind::pattern) {
                                    own.insert(value.shared);
                                }
                            }
                        }
                    }
                }
                for (const std::uint32_t id : own) {
                    shared += !seen.insert(id).second;
                }
            }
            ruleAt = 0;
        }
        const std::vector<Sel>& sels = batch[n % 50].sels;
        const Cond& cond = batch[n % 50].cond;
        const std::string& yaml = batch[n % 50].yaml;
        const RuleEntry& entry = set.entries[static_cast<std::size_t>(n % 50)];
        const bool valid = conditionValid(cond, sels.size());
        ASSERT_EQ(entry.loaded, valid) << yaml << entry.text;
        if (!valid) {
            continue;
        }
        ++loaded;
        const auto index = static_cast<std::uint32_t>(ruleAt++);
        const SigmaRule& rule = set.rules[index];
        for (int e = 0; e < 20; ++e) {
            Row row;
            RuleEvent event;
            event.category = RuleCategory::processCreation;
            for (const std::string& f : kFields) {
                const int field = ruleFieldNamed(f);
                if (field >= 0 && r.chance(85)) {
                    row[f] = r.chance(20) ? r.number() : r.text(false);
                    event.set(static_cast<RuleField>(field), row[f]);
                }
            }
            const std::string line = r.text(false) + r.text(false);
            event.rawLine = line;
            auto holds = [&](const std::string& name) {
                const auto at = std::find(kNames.begin(), kNames.end(), name) - kNames.begin();
                return refSelection(sels[static_cast<std::size_t>(at)], row, line);
            };
            const bool want = refCondition(cond, holds, sels.size());
            held += want;
            ASSERT_EQ(rule.matches(event), want) << yaml << "line: " << line;
            // Before lineage is known, the answer is the same or not given.
            const int early = rule.matchesWithoutLineage(event);
            unknown += early == RuleCondition::kUnknown;
            if (early != RuleCondition::kUnknown) {
                ASSERT_EQ(early == RuleCondition::kTrue, want) << yaml;
            }
            // The set's own matcher, its index of rules by the paths they
            // name leaving out only rules that cannot hold: a rule it does
            // not wait on for lineage is a hit exactly when it holds.
            ASSERT_EQ(set.matches(index, event), want) << yaml << "line: " << line;
            std::vector<std::uint32_t> hits, deferred;
            set.matchWithoutLineage(event, hits, deferred);
            const auto hit = std::count(hits.begin(), hits.end(), index);
            const auto waits = std::count(deferred.begin(), deferred.end(), index);
            ASSERT_LE(hit + waits, 1) << yaml;
            if (waits == 0) {
                ASSERT_EQ(hit, want ? 1 : 0) << yaml;
            }
            if (early != RuleCondition::kUnknown) {
                ASSERT_EQ(waits, 0) << yaml;
            }
        }
    }
    // The random rules are neither all refused nor all silent.
    EXPECT_GT(loaded, 500);
    EXPECT_GT(held, 1000);
    EXPECT_GT(unknown, 1000);
    EXPECT_GT(shared, 30);
}

// What the random rules leave out: multi-line and dot-all expressions.
TEST(RuleMatching, RegularExpressionFlags) {
    struct Case {
        std::string key;
        std::string value;
        std::string text;
        bool holds;
    };
    const std::vector<Case> cases = {
        {"re", "^b", "a\nb", false},
        {"re|m", "^b", "a\nb", true},
        {"re", "a.b", "a\nb", false},
        {"re|s", "a.b", "a\nb", true},
        {"re", "A", "a", false},
        {"re|i", "A", "a", true},
        {"re", "é.", "éé", true},
        {"re", "^.$", "é", true},
        {"contains|cased", "A", "a", false},
    };
    for (const Case& c : cases) {
        const std::string yaml =
            "title: t\nlogsource: {product: macos, category: process_creation}\n"
            "detection:\n  s:\n    'CommandLine|" +
            c.key + "': " + yamlQuoted(c.value) + "\n  condition: s\n";
        RuleSet set;
        loadRuleText(yaml, "f", set);
        ASSERT_EQ(set.rules.size(), 1u) << yaml;
        RuleEvent event;
        event.set(RuleField::CommandLine, c.text);
        EXPECT_EQ(set.rules[0].matches(event), c.holds) << c.key << " " << c.value;
    }
}

// Folding turns only A-Z to lower case, whatever the bytes around them, at
// every length and place a word-wide fold meets.
TEST(RuleMatching, FoldsOnlyAsciiLetters) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    all += all;
    std::string folded;
    for (std::size_t from = 0; from < 9; ++from) {
        for (const std::size_t length : {0u, 1u, 7u, 8u, 9u, 17u, 300u}) {
            const std::string text = all.substr(from * 29 % 256, length);
            foldAsciiInto(text, folded);
            EXPECT_EQ(folded, lower(text)) << from << " " << length;
        }
    }
}

}  // namespace
}  // namespace korvantis
