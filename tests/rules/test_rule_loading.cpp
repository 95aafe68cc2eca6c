// What each rule document becomes: loaded, or skipped and why; how plain
// scalars are typed; how files and folders are found and labelled.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rules/rule_set.h"

namespace korvantis {
namespace {

const std::string kHead = "logsource: {product: macos, category: process_creation}\n";
const std::string kRule = "title: T\n" + kHead + "detection: {s: {Image: x}, condition: s}\n";

std::string rule(const std::string& title, const std::string& detection,
                 const std::string& extra = "") {
    return "title: " + title + "\n" + kHead + extra + "detection:\n" + detection;
}

std::vector<std::string> report(const std::string& text) {
    RuleSet set;
    loadRuleText(text, "F", set);
    std::vector<std::string> lines;
    for (const RuleEntry& e : set.entries) {
        lines.push_back(e.reportLine());
    }
    return lines;
}

TEST(RuleLoading, EachDocumentLoadsOrSaysWhyNot) {
    struct Case {
        std::string text;
        std::vector<std::string> want;  // report lines; a skipped one by the start of its reason
    };
    // The rule's mapping is one level.
    auto nested = [](int lists) {
        return kRule + "extra: " + std::string(lists, '[') + "x" + std::string(lists, ']') + "\n";
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"# only a comment\n", {}},
        {kRule, {"F#1\tloaded\tT"}},
        {kRule + "---\n" + kRule + "---\nnot: a rule\n",
         {"F#1\tloaded\tT", "F#2\tloaded\tT", "F#3\tskipped\tno title"}},
        // Plain scalars by the core schema; quoted ones are texts.
        {rule("010", "  s: {Image: x}\n  condition: s\n"), {"F#1\tskipped\tno title"}},
        {rule("'010'", "  s: {Image: x}\n  condition: s\n"), {"F#1\tloaded\t010"}},
        {rule("yes", "  s: {Image: x}\n  condition: s\n"), {"F#1\tloaded\tyes"}},
        {rule("0x1F", "  s: {Image: x}\n  condition: s\n"), {"F#1\tloaded\t0x1F"}},
        {rule("1_000", "  s: {Image: x}\n  condition: s\n"), {"F#1\tloaded\t1_000"}},
        {rule("2026-12-07", "  s: {Image: x}\n  condition: s\n"), {"F#1\tloaded\t2026-12-07"}},
        {rule("FALSE", "  s: {Image: x}\n  condition: s\n"), {"F#1\tskipped\tno title"}},
        {rule("1e3", "  s: {Image: x}\n  condition: s\n"), {"F#1\tskipped\tno title"}},
        {rule("~", "  s: {Image: x}\n  condition: s\n"), {"F#1\tskipped\tno title"}},
        {rule("''", "  s: {Image: x}\n  condition: s\n"), {"F#1\tskipped\tno title"}},
        {rule("T", "  s: {Image: 1.5}\n  condition: s\n"), {"F#1\tskipped\tdetection: s: floats"}},
        {rule("T", "  s: {Image: .inf}\n  condition: s\n"), {"F#1\tskipped\tdetection: s: floats"}},
        {rule("T", "  s: {Image: '1.5'}\n  condition: s\n"), {"F#1\tloaded\tT"}},
        // Whole-file failures are one entry, whatever the file holds.
        {kRule + "---\nx: !x 1\n", {"F#1\tskipped\tnot valid YAML: unknown tag !x"}},
        {kRule + "---\nx: *nothing\n", {"F#1\tskipped\tnot valid YAML"}},
        {kRule + "---\n[unclosed\n", {"F#1\tskipped\tnot valid YAML"}},
        {"\xff" + kRule, {"F#1\tskipped\tnot valid UTF-8"}},
        {std::string(10000, '[') + std::string(10000, ']'),
         {"F#1\tskipped\tnested more than 64 levels deep"}},
        // The document's own checks.
        {kRule + "title: again\n", {"F#1\tskipped\trepeats the key title"}},
        {kRule + "<<: {a: 1}\n", {"F#1\tloaded\tT"}},
        {kRule + "<<: 1\n<<: 2\n", {"F#1\tskipped\trepeats the key <<"}},
        {kRule + "1: a\n'1': b\n", {"F#1\tloaded\tT"}},
        {kRule + "010: a\n10: b\n", {"F#1\tskipped\trepeats the key 10"}},
        {nested(63), {"F#1\tloaded\tT"}},
        {nested(64), {"F#1\tskipped\tnested more than 64 levels deep"}},
        {"- 1\n", {"F#1\tskipped\tnot a mapping"}},
        {kRule + "id: a\n---\n" + kRule + "id: a\n---\n" + kRule + "id: 5\n",
         {"F#1\tloaded\tT", "F#2\tskipped\tid a is used", "F#3\tskipped\tid is not a text"}},
        {"title: T\nlogsource: {product: windows, category: process_creation}\n"
         "detection: {s: {Image: x}, condition: s}\n",
         {"F#1\tskipped\tlogsource: product"}},
        {"title: T\nlogsource: {product: macos, category: process_creation, service: x}\n"
         "detection: {s: {Image: x}, condition: s}\n",
         {"F#1\tskipped\tlogsource: service"}},
        {"title: T\nlogsource: {product: macos, category: network_connection}\n"
         "detection: {s: {Image: x}, condition: s}\n",
         {"F#1\tskipped\tlogsource: category"}},
        {"title: T\nlogsource: {product: macos, category: file_event}\n"
         "detection: {s: {TargetFilename: x}, condition: s}\n",
         {"F#1\tloaded\tT"}},
        {rule("T", "  s: {Image: x}\n"), {"F#1\tskipped\tdetection: no condition"}},
        {rule("T", "  s: {Image: x}\n  condition: 5\n"),
         {"F#1\tskipped\tdetection: the condition"}},
        {rule("T", "  s: {Image: x}\n  condition: [s, not s]\n"), {"F#1\tloaded\tT"}},
        {rule("T", "  s: {Image: x}\n  timeframe: 5m\n  condition: s\n"),
         {"F#1\tskipped\tdetection: timeframe"}},
        {rule("T", "  s: {Image: x}\n  condition: s | count() > 5\n"),
         {"F#1\tskipped\tdetection: aggregations"}},
        {kRule + "correlation: {type: event_count}\n", {"F#1\tskipped\tcorrelation"}},
        {rule("T", "  s: {CommandLine|windash: x}\n  condition: s\n"),
         {"F#1\tskipped\tdetection: s: unsupported modifier windash"}},
        {rule("T", "  s: {CommandLine|base64offset|contains: x}\n  condition: s\n"),
         {"F#1\tskipped\tdetection: s: unsupported modifier base64offset"}},
        {rule("T", "  s: {CommandLine|contains|endswith: x}\n  condition: s\n"),
         {"F#1\tskipped\tdetection: s: more than one"}},
        {rule("T", "  s: {CommandLine|re|cased: x}\n  condition: s\n"),
         {"F#1\tskipped\tdetection: s: cased"}},
        {rule("T", "  s: {CommandLine|re: '(x'}\n  condition: s\n"),
         {"F#1\tskipped\tdetection: s: invalid regular expression"}},
        {rule("T", "  s: {CommandLine|gt: '5'}\n  condition: s\n"),
         {"F#1\tskipped\tdetection: s: a comparison"}},
        {rule("T", "  s: {CommandLine: {a: b}}\n  condition: s\n"),
         {"F#1\tskipped\tdetection: s: the value"}},
        {rule("T", "  s: [true]\n  condition: s\n"), {"F#1\tskipped\tdetection: s: a keyword"}},
        {rule("T", "  s: {Image: x}\n  condition: s and t\n"),
         {"F#1\tskipped\tdetection: condition: unknown identifier t"}},
        {rule("T", "  s: {Image: x}\n  condition: s AND s\n"),
         {"F#1\tskipped\tdetection: condition"}},
        {rule("T", "  s: {Image: x}\n  condition: 1 of f*\n"),
         {"F#1\tskipped\tdetection: condition: no identifier matches f*"}},
        {rule("T", "  _s: {Image: x}\n  condition: 1 of them\n"),
         {"F#1\tskipped\tdetection: condition: no identifier matches them"}},
        {rule("T", "  s: {Image: x}\n  condition: (s\n"), {"F#1\tskipped\tdetection: condition"}},
        {rule("T", "  s: {Image: x}\n  condition: s s\n"), {"F#1\tskipped\tdetection: condition"}},
        // Fields outside the table: loaded, and named.
        {rule("T",
              "  s: {User: x, Image: y, OriginalFileName: z, User|contains: w}\n"
              "  condition: s\n"),
         {"F#1\tloaded\tT\tnever present: User, OriginalFileName"}},
    };
    // All of them parsed by one child give what each parsed by its own does,
    // a broken one's child ended and the texts after it sent to a new one.
    RuleSet eachAlone, allInTurn;
    std::vector<LabelledRuleText> texts;
    for (const Case& c : cases) {
        texts.push_back({"F" + std::to_string(texts.size()), c.text});
        loadRuleText(c.text, texts.back().label, eachAlone);
    }
    addRuleTexts(texts, allInTurn);
    ASSERT_EQ(allInTurn.entries.size(), eachAlone.entries.size());
    for (std::size_t i = 0; i < eachAlone.entries.size(); ++i) {
        EXPECT_EQ(allInTurn.entries[i].reportLine(), eachAlone.entries[i].reportLine());
    }
    EXPECT_EQ(allInTurn.rules.size(), eachAlone.rules.size());
    for (const Case& c : cases) {
        const std::vector<std::string> got = report(c.text);
        ASSERT_EQ(got.size(), c.want.size()) << c.text;
        for (std::size_t i = 0; i < got.size(); ++i) {
            const bool loaded = c.want[i].find("\tloaded\t") != std::string::npos;
            if (loaded) {
                EXPECT_EQ(got[i], c.want[i]) << c.text;
            } else {
                EXPECT_TRUE(got[i].starts_with(c.want[i])) << got[i] << "\n" << c.text;
                EXPECT_EQ(got[i].find('\n'), std::string::npos);
            }
        }
    }
}

TEST(RuleLoading, LevelsAndValuesAsTexts) {
    RuleSet set;
    loadRuleText(rule("T", "  s: {Image: 010, CommandLine: True, cwd: -0}\n  condition: s\n",
                      "level: high\n") +
                     "---\n" + rule("U", "  s: {Image: x}\n  condition: s\n", "level: High\n"),
                 "F", set);
    ASSERT_EQ(set.rules.size(), 2u);
    EXPECT_EQ(set.rules[0].level, RuleLevel::high);
    EXPECT_EQ(set.rules[1].level, RuleLevel::none);
    RuleEvent event;
    event.set(RuleField::Image, "10");
    event.set(RuleField::CommandLine, "TRUE");
    event.set(RuleField::cwd, "0");
    EXPECT_TRUE(set.rules[0].matches(event));
    event.set(RuleField::Image, "010");
    EXPECT_FALSE(set.rules[0].matches(event));
}

TEST(RuleLoading, HostileFilesCostLittle) {
#if defined(__SANITIZE_THREAD__)
    // The bounds are of processor time and memory, which ThreadSanitizer multiplies.
    GTEST_SKIP() << "not bounded alike under ThreadSanitizer";
#endif
    // Each level of aliases names the one before nine times.
    std::string bomb = "a0: &a0 [x, x, x, x, x, x, x, x, x]\n";
    for (int i = 1; i < 12; ++i) {
        bomb += "a" + std::to_string(i) + ": &a" + std::to_string(i) + " [";
        for (int k = 0; k < 9; ++k) {
            bomb += (k ? ", *a" : "*a") + std::to_string(i - 1);
        }
        bomb += "]\n";
    }
    const std::vector<std::string> got = report(kRule + bomb);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].starts_with("F#1\tskipped\ttoo large")) << got[0];
    // Many values are fine.
    std::string many = rule("T", "  s:\n    Image:\n");
    for (int i = 0; i < 20000; ++i) {
        many += "      - v" + std::to_string(i) + "\n";
    }
    EXPECT_EQ(report(many + "  condition: s\n"), std::vector<std::string>{"F#1\tloaded\tT"});
}

TEST(RuleLoading, FoldersInByteOrderAndLabels) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("rules-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    fs::create_directories(dir / "B");
    auto write = [&](const fs::path& p, const std::string& text) { std::ofstream(p) << text; };
    write(dir / "b.yml", kRule);
    write(dir / "B" / "x.yaml", kRule + "---\n" + kRule);
    write(dir / "sub" / "a.yml", kRule);
    write(dir / "notes.txt", kRule);
    write(dir / "locked.yml", kRule);
    ::chmod((dir / "locked.yml").c_str(), 0);
    fs::create_directory_symlink(dir / "sub", dir / "linked");
    write(dir / "big.yml", std::string((16 << 20) + 1, '#'));
    // A few bytes on which the YAML parser takes memory without end: the
    // files after it still load.
    write(dir / "c.yml", ",tit");

    std::string error;
    const auto set = loadRuleFiles({dir.string(), (dir / "b.yml").string()}, error);
    ASSERT_TRUE(set) << error;
    std::vector<std::string> labels;
    for (const RuleEntry& e : set->entries) {
        labels.push_back(e.label + (e.loaded ? "" : " skipped"));
    }
    const std::string d = dir.string();
    const bool root = ::geteuid() == 0;  // reads what it may not
    std::vector<std::string> want = {d + "/B/x.yaml#1", d + "/B/x.yaml#2", d + "/b.yml#1",
                                     d + "/big.yml#1 skipped", d + "/c.yml#1 skipped"};
    want.push_back(d + "/locked.yml#1" + (root ? "" : " skipped"));
    want.push_back(d + "/sub/a.yml#1");
    want.push_back(d + "/b.yml#1");
    EXPECT_EQ(labels, want);

    EXPECT_FALSE(loadRuleFiles({(dir / "missing").string()}, error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace korvantis
