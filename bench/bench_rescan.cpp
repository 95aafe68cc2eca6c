// Rule rescan benchmark: loads LOG without rules as the viewer does, then
// applies the rules of RULES (files or folders) to its rows as adding a rule
// folder to an open log does, and prints how long the whole took and the
// steps that run on the window's thread (taking the rows, putting the hits
// in): those are what the window can stall on, the rest runs on a worker.
//
// With --compare, LOG is loaded again with the rules, and the hits of the
// two are compared row by row (exactness on a real trace, not a figure).
//
// Usage: bench_rescan [--compare] LOG RULES...

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "load/rule_rescan.h"
#include "rules/rule_document.h"
#include "rules/rule_hit_sets.h"
#include "rules/rule_set.h"

int main(int argc, char** argv) {
    // Rule files are parsed by this program started again, as the viewer
    // does (a process of a million rows is slow to fork).
    if (const std::optional<int> answered =
            korvantis::answerAsRuleChildOrBecomeItsParent(argc, argv)) {
        return *answered;
    }
    const bool compare = argc > 1 && std::string_view(argv[1]) == "--compare";
    if (compare) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_rescan [--compare] LOG RULES...\n");
        return 2;
    }
    using namespace korvantis;
    TaskQueue tasks;
    Workspace ws(tasks.poster());
    ws.loader.setTreeFactsWanted(false);
    bench::loadLog(ws, tasks, argv[1]);
    const std::size_t rows = ws.store.lineRefs().size();

    const auto start = bench::Clock::now();
    std::string error;
    const std::shared_ptr<RuleSet> rules =
        loadRuleFiles(std::vector<std::string>(argv + 2, argv + argc), error);
    if (!rules) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const double loadMs = bench::millisecondsSince(start);
    auto step = bench::Clock::now();
    const RuleRescanRows taken = RuleRescanRows::of(ws.store);
    const double takeMs = bench::millisecondsSince(step);
    step = bench::Clock::now();
    const double scanCpuFrom = bench::processCpuMilliseconds();
    std::atomic<bool> stop{false};
    auto hits = rescanRuleHits(taken, *rules, ws.store.rowTexts().ruleHits, stop);
    const double scanMs = bench::millisecondsSince(step);
    const double scanCpuMs = bench::processCpuMilliseconds() - scanCpuFrom;
    if (!hits) {
        std::fprintf(stderr, "rescan stopped\n");
        return 1;
    }
    step = bench::Clock::now();
    ws.store.replaceRuleHits(*hits);
    const double replaceMs = bench::millisecondsSince(step);
    const double totalMs = bench::millisecondsSince(start);
    std::printf("%zu rows, %zu rules: applied in %.0f ms (at most 2000 wanted)\n", rows,
                rules->rules.size(), totalMs);
    std::printf(
        "  rule files read %.0f ms, rescan off the window's thread %.0f ms"
        " (%.0f ms of processor time on %u cores)\n",
        loadMs, scanMs, scanCpuMs, std::thread::hardware_concurrency());
    std::printf(
        "  window thread: rows taken %.1f ms, hits put in %.1f ms (each at most 50 wanted)\n",
        takeMs, replaceMs);
    if (compare) {
        Workspace loaded(tasks.poster());
        loaded.loader.setTreeFactsWanted(false);
        loaded.loader.setRules(rules);
        bench::loadLog(loaded, tasks, argv[1]);
        std::size_t differing = 0, withHits = 0;
        for (RowKind kind : kRowKinds) {
            const PreviewRows& want = loaded.store.rows(kind);
            const PreviewRows& got = ws.store.rows(kind);
            differing += want.size() != got.size();
            for (std::size_t i = 0; i < want.size() && i < got.size(); ++i) {
                const std::string_view titles = ruleTitlesOf(want.rowView(i).ruleHits);
                withHits += !titles.empty();
                differing += titles != ruleTitlesOf(got.rowView(i).ruleHits);
            }
        }
        std::printf("  against a load with the rules: %zu rows with hits, %zu differ\n", withHits,
                    differing);
        return differing == 0 ? 0 : 1;
    }
    return 0;
}
