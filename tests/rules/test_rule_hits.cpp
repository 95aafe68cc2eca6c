// Rules applied during loads: the parent a row's rules see, which rows are
// tested at all, and the row fields and filter keys of the hits.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "describe/facts_card.h"
#include "input/temp_files.h"
#include "load/rule_rescan.h"
#include "output/row_export.h"
#include "query/filter_query.h"
#include "rules/rule_hit_sets.h"
#include "rules/rule_set.h"
#include "support/eslogger_lines.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

using testsupport::EsProcess;

// Rules that tell the parent a row sees: one per image, one per command line.
std::shared_ptr<RuleSet> lineageRules() {
    std::string text;
    auto add = [&](const std::string& title, const std::string& item) {
        text += "---\ntitle: " + title +
                "\nlogsource: {product: macos, category: process_creation}\n"
                "detection: {s: {" +
                item + "}, condition: s}\n";
    };
    for (const char* image : {"/A", "/B", "/C", "/D", "/N"}) {
        add(std::string("pi") + image, std::string("ParentImage: ") + image);
    }
    add("pi-", "ParentImage: null");
    add("pc-a", "ParentCommandLine: a x");
    add("pc-b", "ParentCommandLine: b");
    add("pc-", "ParentCommandLine: null");
    auto set = std::make_shared<RuleSet>();
    loadRuleText(text, "lineage", *set);
    return set;
}

// The same rules applied afterwards to the rows of a load of `paths`
// without them find what the load with them found (`loaded`), in every
// list, however the rows are shared out: runs of one or two rows put every
// lineage step across a border.
void expectRescanAsLoaded(const std::vector<std::string>& paths, std::shared_ptr<RuleSet> rules,
                          const EventStore& loaded) {
    testsupport::LoadingWorkspace plain;
    plain.load(paths);
    EventStore& store = plain.ws.store;
    const std::atomic<bool> stopped{true};  // the window closed: nothing, at once
    EXPECT_FALSE(rescanRuleHits(RuleRescanRows::of(store), *rules, store.rowTexts().ruleHits,
                                stopped, {1, 2}));
    const std::atomic<bool> stop{false};
    for (const RescanShape shape : {RescanShape{}, RescanShape{1, 3}, RescanShape{2, 2}}) {
        const auto replaced = rescanRuleHits(RuleRescanRows::of(store), *rules,
                                             store.rowTexts().ruleHits, stop, shape);
        EXPECT_TRUE(replaced.has_value());
        store.replaceRuleHits(*replaced);
        for (RowKind kind : kRowKinds) {
            const auto& want = loaded.rows(kind);
            const auto& applied = store.rows(kind);
            EXPECT_EQ(want.size(), applied.size());
            for (std::size_t i = 0; i < want.size() && i < applied.size(); ++i) {
                EXPECT_EQ(ruleTitlesOf(want.rowView(i).ruleHits),
                          ruleTitlesOf(applied.rowView(i).ruleHits))
                    << "row " << i << " in runs of " << shape.rowsPerRun;
            }
        }
    }
}

// The `rules` field of every process row of the logs, in order.
std::vector<std::string> processRowRules(const std::vector<std::vector<std::string>>& logs,
                                         std::shared_ptr<RuleSet> rules) {
    testing::TempDir dir;
    std::vector<std::string> paths;
    for (const auto& lines : logs) {
        paths.push_back(
            dir.write("log" + std::to_string(paths.size()), testsupport::joinedLines(lines)));
    }
    testsupport::LoadingWorkspace loading;
    loading.ws.loader.setRules(rules);
    loading.load(paths);
    std::vector<std::string> out;
    const auto& procs = loading.ws.store.rows(RowKind::process);
    for (std::size_t i = 0; i < procs.size(); ++i) {
        out.emplace_back(ruleTitlesOf(procs.rowView(i).ruleHits));
    }
    expectRescanAsLoaded(paths, rules, loading.ws.store);
    return out;
}

TEST(RuleHits, LineageAsTheLinesBeforeTellIt) {
    const EsProcess a{1, 0, "/A"}, b{1, 0, "/B"}, child{10, 1, "/bin/c"};
    const EsProcess child2{11, 1, "/bin/c"};
    struct Case {
        std::string name;
        std::vector<std::vector<std::string>> logs;
        std::vector<std::string> want;  // per process row
    };
    const std::vector<Case> cases = {
        {"first line of a log", {{testsupport::esExec(child, {R"("c")"})}}, {"pi-; pc-"}},
        {"parent's exec",
         {{testsupport::esExec(a, {R"("a")", R"("x")"}), testsupport::esExec(child, {})}},
         {"pi-; pc-", "pi/A; pc-a"}},
        {"pid reused: the parent as it was then",
         {{testsupport::esExec(a, {R"("a")", R"("x")"}), testsupport::esExec(child, {}),
           testsupport::esExec(b, {R"("b")"}), testsupport::esExec(child2, {})}},
         {"pi-; pc-", "pi/A; pc-a", "pi-; pc-", "pi/B; pc-b"}},
        {"fork between the exec and the child",
         {{testsupport::esExec(a, {R"("a")", R"("x")"}),
           testsupport::esFork(EsProcess{0, 0, "/kernel"}, a), testsupport::esExec(child, {})}},
         {"pi-; pc-", "", "pi/A; pc-"}},
        {"each log starts afresh",
         {{testsupport::esExec(a, {R"("a")", R"("x")"})}, {testsupport::esExec(child, {})}},
         {"pi-; pc-", "pi-; pc-"}},
        {"a file row tells its process",
         {{testsupport::esCreate(EsProcess{1, 0, "/C"}, "/tmp", "f"),
           testsupport::esExec(child, {})}},
         {"pi/C; pc-"}},
        {"rows no rule tests tell their processes",
         {{testsupport::esMessage(EsProcess{1, 0, "/C"}, R"("open":{"file":{"path":"/f"}})"),
           testsupport::esFork(EsProcess{5, 0, "/D"}, EsProcess{6, 5, "/bin/e"}),
           testsupport::esMessage(EsProcess{7, 0, "/N"}, R"("kill":{"sig":9})"),
           testsupport::esExec(child, {}), testsupport::esExec(EsProcess{8, 5, "/bin/f"}, {}),
           testsupport::esExec(EsProcess{9, 6, "/bin/g"}, {}),
           testsupport::esExec(EsProcess{3, 7, "/bin/h"}, {})}},
         {"", "pi/C; pc-", "pi/D; pc-", "pc-", "pi/N; pc-"}},
        {"the message's own process under another pid",
         {{testsupport::esExec(EsProcess{5, 0, "/D"}, EsProcess{6, 5, "/bin/e"}, {}),
           testsupport::esExec(EsProcess{7, 5, "/bin/f"}, {})}},
         {"pi-; pc-", "pi/D; pc-"}},
        {"own records",
         {{testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 1, 0, "/N"),
           testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 10, 1, "/bin/c")}},
         {"pi-; pc-", "pi/N; pc-"}},
        {"pids beyond those of macOS",
         {{testsupport::esExec(EsProcess{5000000000, 0, "/A"}, {R"("a")", R"("x")"}),
           testsupport::esExec(EsProcess{300000, 5000000000, "/B"}, {R"("b")"}),
           testsupport::esExec(EsProcess{7, 300000, "/bin/d"}, {})}},
         {"pi-; pc-", "pi/A; pc-a", "pi/B; pc-b"}},
        {"a row is not its own parent",
         {{testsupport::esExec(EsProcess{1, 1, "/A"}, {R"("a")", R"("x")"})}},
         {"pi-; pc-"}},
    };
    const auto rules = lineageRules();
    for (const Case& c : cases) {
        EXPECT_EQ(processRowRules(c.logs, rules), c.want) << c.name;
    }
}

TEST(RuleHits, FieldsOfTheRowsRulesTest) {
    auto set = std::make_shared<RuleSet>();
    loadRuleText(R"(title: cmd
id: r1
level: low
logsource: {product: macos, category: process_creation}
detection:
  s: {CommandLine: 'sh -c echo  "x y"', CurrentDirectory: /w, ProcessId: 10, ParentProcessId: 1, uid: 501}
  condition: s
---
title: made
id: r2
level: critical
description: a file made
logsource: {product: macos, category: file_event}
detection:
  s: {TargetFilename|endswith: /f, Image: /C, ProcessId: 3, ParentProcessId: null, CommandLine: null}
  condition: s
---
title: any exec or file
logsource: {product: macos, category: process_creation}
detection: {s: {ProcessId|exists: true}, condition: s}
---
title: keyword
logsource: {product: macos, category: file_event}
detection: {s: ['"rename"'], condition: s}
)",
                 "f", *set);
    ASSERT_EQ(set->rules.size(), 4u);
    const EsProcess c{3, 1, "/C"};
    const std::string big(5000, 'z');  // beyond what a fact keeps
    const std::vector<std::string> lines = {
        testsupport::esExec(EsProcess{10, 1, "/bin/sh"}, EsProcess{10, 1, "/bin/sh"},
                            {R"("sh")", R"("-c")", R"("echo ")", R"("\"x y\"")"}, "/w"),
        testsupport::esCreate(c, "/tmp", "f"),
        testsupport::esRename(c, "/tmp/f"),
        testsupport::esMessage(c, R"("open":{"file":{"path":"/tmp/f"}})"),
        testsupport::esFork(c, EsProcess{4, 3, "/C"}),
        testsupport::esExec(
            EsProcess{1, 0, "/sbin/launchd"},
            EsProcess{12, 1, "/bin/sh", ",\"signing_id\":\"" + std::string(4500, 's') + "\""},
            {R"("sh")", "\"" + big + "\""}, "/" + std::string(4500, 'd')),
    };
    testing::TempDir dir;
    testsupport::LoadingWorkspace loading;
    loading.ws.loader.setRules(set);
    const std::string path = dir.write("log", testsupport::joinedLines(lines));
    loading.load(path);
    const EventStore& store = loading.ws.store;
    expectRescanAsLoaded({path}, set, store);  // rules that ask for no lineage
    ASSERT_EQ(store.rows(RowKind::process).size(), 3u);
    ASSERT_EQ(store.rows(RowKind::file).size(), 3u);
    auto fields = [](const RowView& row) {
        return std::string(ruleTitlesOf(row.ruleHits)) + "|" +
               std::string(ruleIdsOf(row.ruleHits)) + "|" +
               std::string(ruleLevelName(ruleLevelOf(row.ruleHits)));
    };
    EXPECT_EQ(fields(store.rows(RowKind::process).rowView(0)), "cmd; any exec or file|r1|low");
    EXPECT_EQ(fields(store.rows(RowKind::process).rowView(1)), "||");  // a fork is tested by none
    EXPECT_EQ(fields(store.rows(RowKind::process).rowView(2)), "any exec or file||");
    EXPECT_EQ(fields(store.rows(RowKind::file).rowView(0)), "made|r2|critical");
    EXPECT_EQ(fields(store.rows(RowKind::file).rowView(1)), "made; keyword|r2|critical");
    EXPECT_EQ(fields(store.rows(RowKind::file).rowView(2)), "||");  // open: not tested
    // The facts card names the rules last, with their level and description.
    const std::string card = factsCardText(store.rows(RowKind::file).rowView(1));
    EXPECT_EQ(card.substr(card.find("\nRule: ")),
              "\nRule: made (critical) \u2014 a file made\nRule: keyword");

    // The command line and the facts are never cut.
    auto whole = std::make_shared<RuleSet>();
    loadRuleText(
        "title: w\nlogsource: {product: macos, category: process_creation}\n"
        "detection: {s: {CommandLine|endswith: 'z" +
            std::string(4999, 'z') + "', cwd|endswith: '" + std::string(4500, 'd') +
            "', signing_id|endswith: '" + std::string(4500, 's') + "'}, condition: s}\n",
        "w", *whole);
    testsupport::LoadingWorkspace again;
    again.ws.loader.setRules(whole);
    again.load(dir.write("log2", testsupport::joinedLines(lines)));
    EXPECT_EQ(fields(again.ws.store.rows(RowKind::process).rowView(2)), "w||");

    // Filter keys and export fields.
    struct Query {
        std::string text;
        std::vector<bool> shown;  // the three file rows
    };
    const std::vector<Query> queries = {
        {"rule:MADE", {true, true, false}},  {"rule:r2", {true, true, false}},
        {"rule:keyw", {false, true, false}}, {"-rule:keyw", {true, false, true}},
        {"level:High", {true, true, false}}, {"-level:critical", {false, false, true}},
    };
    for (const Query& q : queries) {
        const ParsedFilterQuery parsed = parseFilterQuery(q.text);
        ASSERT_TRUE(parsed.query) << q.text;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(parsed.query->matches(store.rows(RowKind::file).rowView(i)), q.shown[i])
                << q.text << " row " << i;
        }
    }
    EXPECT_EQ(parseFilterQuery("level:severe").error,
              "level: wants informational, low, medium, high or critical");
    EXPECT_EQ(parseFilterQuery("rule:").error, "empty value after rule:");
    EXPECT_EQ(parseFilterQuery("level:").error, "empty value after level:");
}

// A row names its hit set by number: every set interned, for this rule set
// or an earlier one, is found again by its number, across the chunks that
// hold them.
TEST(RuleHits, SetsAreFoundByTheirNumbers) {
    auto rulesOf = [] {
        std::string text;
        for (int r = 0; r < 10; ++r) {
            text += "---\ntitle: t" + std::to_string(r) +
                    "\nlogsource: {product: macos, category: process_creation}\n"
                    "detection: {s: {Image: /x}, condition: s}\n";
        }
        auto set = std::make_shared<RuleSet>();
        loadRuleText(text, "n", *set);
        return set;
    };
    const auto first = rulesOf();
    const auto second = rulesOf();
    RuleHitSets sets;
    std::vector<const RuleHitSet*> made;
    for (const auto& rules : {first, second}) {
        for (std::uint32_t mask = 1; mask < 1024; ++mask) {
            std::vector<std::uint32_t> key;
            for (std::uint32_t r = 0; r < 10; ++r) {
                if ((mask >> r & 1) != 0) {
                    key.push_back(r);
                }
            }
            made.push_back(sets.intern(key, *rules));
            ASSERT_EQ(made.back(), sets.intern(key, *rules));
            ASSERT_EQ(made.back()->rules, key);
        }
    }
    for (std::size_t i = 0; i < made.size(); ++i) {
        ASSERT_EQ(made[i]->number, i);
        ASSERT_EQ(&sets.at(made[i]->number), made[i]);
    }
    EXPECT_EQ(made[0]->titlesText, "t0");
    EXPECT_EQ(made[1022]->titlesText, "t0; t1; t2; t3; t4; t5; t6; t7; t8; t9");
}

}  // namespace
}  // namespace korvantis
