// Where the timeline and the tree window mark rule hits and highlights,
// against a plain walk over every row.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "input/temp_files.h"
#include "query/hit_marks.h"
#include "rules/rule_hit_sets.h"
#include "rules/rule_set.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

std::shared_ptr<RuleSet> markRules() {
    std::string text;
    const auto add = [&](const std::string& title, const char* category, const char* level,
                         const std::string& item) {
        text += "---\ntitle: " + title + "\nlevel: " + level +
                "\nlogsource: {product: macos, category: " + category + "}\ndetection: {s: {" +
                item + "}, condition: s}\n";
    };
    add("runs a", "process_creation", "low", "Image|endswith: /a");
    add("runs b", "process_creation", "high", "Image|endswith: /b");
    add("runs a or b", "process_creation", "medium", "Image|endswith: [/a, /b]");
    add("writes z", "file_event", "critical", "TargetFilename|endswith: /z");
    add("writes y", "file_event", "bogus", "TargetFilename|endswith: /y");
    auto set = std::make_shared<RuleSet>();
    loadRuleText(text, "marks", *set);
    return set;
}

// A random log of process, file and other rows over a few pids (reused
// again and again), at random times, some with no time at all.
std::string randomLog(std::mt19937_64& rng, std::size_t lines) {
    std::vector<std::string> out;
    const char* paths[] = {"/bin/a", "/bin/b", "/bin/c"};
    const char* files[] = {"/f/z", "/f/y", "/f/x"};
    for (std::size_t i = 0; i < lines; ++i) {
        const auto pid = static_cast<std::int64_t>(2 + rng() % 6);
        const std::string time =
            rng() % 12 == 0 ? "late"
                            : "2026-12-07T10:" + std::to_string(10 + rng() % 50) + ":00.000Z";
        switch (rng() % 4) {
            case 0:
                out.push_back(testsupport::procLine(
                    rng() % 2 ? "ES_EVENT_TYPE_NOTIFY_EXEC" : "ES_EVENT_TYPE_NOTIFY_FORK", pid, 1,
                    paths[rng() % 3], time));
                break;
            case 3:
                out.push_back(
                    testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXIT", pid, 1, "/bin/c", time));
                break;
            default:
                out.push_back(testsupport::fileLine("ES_EVENT_TYPE_NOTIFY_CREATE", pid,
                                                    files[rng() % 3], time));
        }
    }
    return testsupport::joinedLines(out);
}

struct LineRow {
    RowKind kind;
    std::size_t index;
    std::uint64_t place;
    RowView view;
};

std::vector<LineRow> rowsByLine(const PerKind<KindRowsSnapshot>& rows) {
    std::vector<LineRow> out;
    for (const RowKind kind : kRowKinds) {
        for (std::size_t i = 0; i < rows[kind].size(); ++i) {
            out.push_back({kind, i, rows[kind].placeOf(i).value(), rows[kind].rowView(i)});
        }
    }
    std::sort(out.begin(), out.end(),
              [](const LineRow& a, const LineRow& b) { return a.place < b.place; });
    return out;
}

// A highlight rule's rows as plain row numbers, for the reference.
struct PlainHighlight {
    int rule;
    RowNumbers rows;
};

// The first rule that selects a row, by looking through every rule.
int plainHighlight(const std::vector<PlainHighlight>& rules, std::size_t row) {
    for (const PlainHighlight& rule : rules) {
        if (std::find(rule.rows.begin(), rule.rows.end(), row) != rule.rows.end()) {
            return rule.rule;
        }
    }
    return -1;
}

RowNumbers randomRows(std::mt19937_64& rng, std::size_t count, unsigned oneIn) {
    RowNumbers rows;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (rng() % oneIn == 0) {
            rows.push_back(i);
        }
    }
    return rows;
}

TEST(HitMarks, AgreeWithPlainWalk) {
    std::mt19937_64 rng(20261208);
    const auto rules = markRules();
    for (int round = 0; round < 12; ++round) {
        testing::TempDir dir;
        testsupport::LoadingWorkspace loading;
        loading.ws.loader.setRules(rules);
        loading.load(dir.write("log", randomLog(rng, 40 + rng() % 300)));
        const RowsSnapshot snapshot = RowsSnapshot::of(loading.ws.store);
        const PerKind<KindRowsSnapshot>& rows = snapshot.rows;
        PerKind<KindHighlights> highlights;
        PerKind<std::vector<PlainHighlight>> plain;
        PerKind<std::optional<RowNumbers>> shown;
        for (const RowKind kind : kRowKinds) {
            // Rules 0 to 3, some left out, in order; they overlap.
            for (int rule = 0; rule < 4; ++rule) {
                if (rng() % 3 != 0) {
                    RowNumbers picked = randomRows(rng, rows[kind].size(), 4);
                    highlights[kind].push_back({rule, std::make_shared<const RowBits>(picked)});
                    plain[kind].push_back({rule, std::move(picked)});
                }
            }
            if (round % 2 == 1) {
                shown[kind] = randomRows(rng, rows[kind].size(), 2);
            }
        }
        const std::vector<LineRow> lines = rowsByLine(rows);
        ASSERT_TRUE(std::any_of(lines.begin(), lines.end(), [](const LineRow& r) {
            return r.view.ruleHits != nullptr && r.view.time != kNoTimeValue;
        }));

        // Per node: every later row of its pid up to its pid's next node.
        std::vector<NodeMark> nodes;
        for (std::size_t n = 0; n < lines.size(); ++n) {
            if (lines[n].kind != RowKind::process) {
                continue;
            }
            NodeMark mark;
            mark.place = lines[n].place;
            mark.pid = lines[n].view.pid;
            for (std::size_t r = n; r < lines.size(); ++r) {
                const LineRow& row = lines[r];
                if (row.view.pid != mark.pid) {
                    continue;
                }
                if (r != n && row.kind == RowKind::process) {
                    break;
                }
                if (const RuleHitSet* hits = row.view.ruleHits) {
                    mark.level = higherLevel(mark.level, hits->level);
                    for (std::size_t i = 0; i < hits->rules.size(); ++i) {
                        mark.rules.emplace_back(hits->rules[i], hits->titles[i]);
                    }
                }
                if (mark.highlight < 0) {
                    mark.highlight = plainHighlight(plain[row.kind], row.index);
                }
            }
            std::sort(mark.rules.begin(), mark.rules.end());
            mark.rules.erase(std::unique(mark.rules.begin(), mark.rules.end()), mark.rules.end());
            if (!mark.rules.empty() || mark.highlight >= 0) {
                nodes.push_back(mark);
            }
        }
        EXPECT_EQ(nodeMarks(rows, highlights), nodes) << "round " << round;

        // Per slice: every shown row's level and highlight.
        const TimeSlices slices(TimeValue(1'796'638'200'000'000'000),
                                TimeValue(1'796'641'200'000'000'000), 5 + rng() % 40);
        std::vector<SliceMark> expected(slices.slices().size());
        for (const LineRow& row : lines) {
            const auto& only = shown[row.kind];
            const std::ptrdiff_t slice = slices.sliceOf(row.view.time);
            if (slice < 0 ||
                (only && std::find(only->begin(), only->end(), row.index) == only->end())) {
                continue;
            }
            SliceMark& mark = expected[static_cast<std::size_t>(slice)];
            mark.level = higherLevel(mark.level, ruleLevelOf(row.view.ruleHits));
            const int h = plainHighlight(plain[row.kind], row.index);
            if (h >= 0 && (mark.highlight < 0 || h < mark.highlight)) {
                mark.highlight = h;
            }
        }
        EXPECT_EQ(sliceMarks(slices, rows, shown, highlights), expected) << "round " << round;
    }
}

TEST(HitMarks, EncodedForThePage) {
    std::vector<NodeMark> marks(2);
    marks[0].place = 3;
    marks[0].level = RuleLevel::high;
    marks[0].rules = {{0, "a \"q\""}, {2, "b"}};
    marks[1].place = 9;
    marks[1].highlight = 1;
    EXPECT_EQ(encodeNodeMarks(marks), R"([[3,"high",["a \"q\"","b"],-1],[9,"",[],1]])");
    EXPECT_EQ(encodeNodeMarks({}), "[]");
}

}  // namespace
}  // namespace korvantis
