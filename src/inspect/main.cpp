// korvantis-inspect: loads event logs into one store, through the same loader
// as the viewer's import, and prints a summary, the store's contents or the
// rows a filter shows.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/json_text.h"
#include "describe/event_detail.h"
#include "describe/pretty_json.h"
#include "index/index_cache.h"
#include "input/cache_file.h"
#include "inspect/checked_output.h"
#include "inspect/clickhouse_runs.h"
#include "inspect/followed_rows.h"
#include "inspect/index_info_lines.h"
#include "inspect/inspect_options.h"
#include "inspect/lifetime_lines.h"
#include "inspect/marks_edit.h"
#include "inspect/shown_rows_output.h"
#include "inspect/store_rows.h"
#include "inspect/summary_output.h"
#include "inspect/terminal_text.h"
#include "investigation/marks_report.h"
#include "korvantis_version.h"
#include "load/rule_rescan.h"
#include "load/task_queue.h"
#include "output/row_export.h"
#include "query/filter_query.h"
#include "query/hit_marks.h"
#include "query/row_sort.h"
#include "rules/rule_set.h"
#include "workspace/workspace.h"

namespace {

using korvantis::EventStore;
using korvantis::RowKind;

void appendKey(std::string& out, std::string_view key) {
    korvantis::appendJsonString(out, key, false);
    out.push_back(':');
}

void appendString(std::string& out, std::string_view key, std::string_view value) {
    appendKey(out, key);
    korvantis::appendJsonString(out, value, false);
}

void appendInt(std::string& out, std::string_view key, long long value) {
    appendKey(out, key);
    out += std::to_string(value);
}

// One list of rows as a JSON array.
void appendPreviews(std::string& out, std::string_view key, const korvantis::PreviewRows& rows) {
    appendKey(out, key);
    out.push_back('[');
    bool first = true;
    for (const korvantis::RowView& e : rows) {
        out += first ? "{" : ",{";
        first = false;
        appendString(out, "type", e.type);
        out.push_back(',');
        appendString(out, "timestamp", e.timestamp);
        out.push_back(',');
        appendInt(out, "pid", e.pid);
        out.push_back(',');
        if (e.hasPpid()) {
            appendInt(out, "ppid", e.ppid);
            out.push_back(',');
        }
        appendString(out, "path", e.path);
        out.push_back('}');
    }
    out += "],";
}

// The store's contents as one JSON object. Written as it
// is made: the load errors alone may be larger than the memory at hand.
void dumpStore(const EventStore& store, korvantis::CheckedOutput& out) {
    std::string& text = out.buffer();
    text.push_back('{');
    appendPreviews(text, "procPreviews", store.rows(RowKind::process));
    appendPreviews(text, "filePreviews", store.rows(RowKind::file));
    appendKey(text, "loadErrors");
    text.push_back('[');
    store.loadErrors().forEachText(store.logFiles(), [&](std::size_t i, std::string_view error) {
        if (i != 0) {
            text.push_back(',');
        }
        korvantis::appendJsonString(text, error, false);
        out.flushIfFull();
    });
    if (const std::size_t folded = store.loadErrors().folded(); folded != 0) {
        text.push_back(',');
        korvantis::appendJsonString(text, korvantis::LoadErrors::foldedText(folded), false);
    }
    text += "],";
    appendInt(text, "jsonMappingCount", static_cast<long long>(store.lineRefs().size()));
    text.push_back(',');
    appendString(text, "jsonTreeRaw", store.jsonTreeRaw());
    text += "}\n";
}

// One line per gap, `LOG:LINE: N lost`, each log named as given: the k-th
// log that could be opened is the store's log k.
std::string gapLines(const EventStore& store, const std::vector<korvantis::LoadOutcome>& outcomes) {
    std::vector<std::string> names;
    for (const korvantis::LoadOutcome& outcome : outcomes) {
        if (outcome.opened) {
            names.push_back(outcome.path);
        }
    }
    std::string out;
    for (const korvantis::SequenceGap& gap : store.sequenceGaps()) {
        out += korvantis::terminalText(gap.log < names.size() ? names[gap.log]
                                                              : store.logFiles().path(gap.log));
        out += ":" + std::to_string(gap.line) + ": " + std::to_string(gap.lost) + " lost\n";
    }
    return out;
}

// The peak resident size of this program alone. The kernel's own figure
// (getrusage) also keeps the peak of the process this one was started
// from when it was spawned sharing that process's memory; VmHWM does not.
long peakRssKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (status != nullptr && kib < 0 && std::fgets(line, sizeof line, status) != nullptr) {
        std::sscanf(line, "VmHWM: %ld kB", &kib);
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    if (kib < 0) {
        struct rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        kib = usage.ru_maxrss;  // KiB on Linux
    }
    return kib;
}

// Standard input's JSON text in readable form, as the detail area shows it.
void writeReadable(korvantis::CheckedOutput& out) {
    // One text, as a line of a log holds it: without its line feed.
    std::string text{std::istreambuf_iterator<char>(std::cin), {}};
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    const korvantis::ReadableJson readable = korvantis::readableJson(text);
    // The notice the detail area shows above it; standard output stays JSON.
    if (const std::string notice = korvantis::repeatedKeysNotice(readable); !notice.empty()) {
        std::cerr << korvantis::terminalText(notice) << "\n";
    }
    out.write(readable.text + "\n");
}

// The query and the sort the options ask for, checked before anything is
// loaded; false when one is invalid (named on standard error).
bool checkRowOptions(const korvantis::InspectOptions& options,
                     std::optional<korvantis::FilterQuery>& query,
                     std::optional<korvantis::RowSort>& sort) {
    if (options.sort) {
        sort = korvantis::parseRowSort(*options.sort);
        if (!sort) {
            std::cerr << "korvantis-inspect: --sort: no field named \""
                      << korvantis::terminalText(options.sort->starts_with('-')
                                                     ? options.sort->substr(1)
                                                     : *options.sort)
                      << "\"\n";
            return false;
        }
    }
    if (options.filter || options.format || options.sort || options.follow ||
        korvantis::editsMarks(options) || options.report) {
        korvantis::ParsedFilterQuery parsed =
            korvantis::parseFilterQuery(options.filter.value_or(""));
        if (!parsed.query) {
            std::cerr << "korvantis-inspect: invalid filter: "
                      << korvantis::terminalText(parsed.error) << "\n";
            return false;
        }
        query = std::move(parsed.query);
    }
    return true;
}

struct Loaded {
    int status = 0;  // 1 when a log could not be opened or was not read to its end
    std::uint64_t lines = 0;
    double seconds = 0;
};

// Loads the logs as the viewer does, with this thread as the store's
// thread: loads run one after the other on workers, and their rows are
// filed here. Followed rows are written as they come, so a follow waits for
// none of them. The logs `feed` hands over are waited for as well.
Loaded loadLogs(korvantis::Workspace& workspace, korvantis::TaskQueue& tasks,
                const korvantis::InspectOptions& options,
                const korvantis::ClickHouseFeedRun& feed) {
    workspace.loader.setTreeFactsWanted(false);  // no tree window here
    // Only these print the tree; rows, summaries and lifetimes do without.
    workspace.loader.setTreeWanted(options.tree || options.dump);
    workspace.loader.setFollowing(options.follow);
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& log : options.logs) {
        workspace.loader.loadJsonFile(log);
    }
    const std::size_t wanted = options.follow ? 0 : options.logs.size();
    tasks.runUntil([&] {
        return feed.ended() && workspace.loader.outcomes().size() >= wanted + feed.logsStarted();
    });
    Loaded loaded;
    for (const korvantis::LoadOutcome& outcome : workspace.loader.outcomes()) {
        // Told, but no failure: the log was loaded all the same.
        if (!outcome.indexNotice.empty()) {
            std::cerr << "korvantis-inspect: " << korvantis::terminalText(outcome.indexNotice)
                      << "\n";
        }
        if (!outcome.opened) {
            // The reason, after "Could not open NAME: ".
            const std::size_t colon = outcome.openFailure.find(": ");
            std::cerr << "korvantis-inspect: cannot open " << korvantis::terminalText(outcome.path)
                      << korvantis::terminalText(colon == std::string::npos
                                                     ? std::string()
                                                     : outcome.openFailure.substr(colon))
                      << "\n";
            loaded.status = 1;
        }
        // A log read only in part is no answer to give as whole.
        if (!outcome.stopped.empty()) {
            std::cerr << "korvantis-inspect: " << korvantis::terminalText(outcome.path) << ": "
                      << korvantis::terminalText(outcome.stopped) << "\n";
            loaded.status = 1;
        }
        loaded.lines += outcome.figures.lines;
    }
    loaded.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return loaded;
}

// Rows a load read from their log's index carry no rule hits: they are
// given them here, worked out from their lines as a load does. False, with
// the reason told, when that could not be done.
bool giveOwedRuleHits(korvantis::Workspace& workspace, const korvantis::RuleSet* rules) {
    if (rules == nullptr || workspace.loader.loadsOwingRules() == 0) {
        return true;
    }
    try {
        const std::atomic<bool> stop{false};
        std::optional<korvantis::EventStore::ReplacedHits> hits =
            korvantis::rescanRuleHits(korvantis::RuleRescanRows::of(workspace.store), *rules,
                                      workspace.store.rowTexts().ruleHits, stop);
        if (hits) {
            workspace.store.replaceRuleHits(*hits);
        }
        return true;
    } catch (const std::exception& e) {
        std::cerr << "korvantis-inspect: the rules could not be applied to the rows read from "
                     "an index: "
                  << (dynamic_cast<const std::bad_alloc*>(&e) ? "out of memory" : e.what()) << "\n";
        return false;
    }
}

// What a run without an output option prints.
std::string loadFigures(const EventStore& store, const Loaded& loaded) {
    char seconds[32];
    char rss[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", loaded.seconds);
    std::snprintf(rss, sizeof rss, "%.1f", static_cast<double>(peakRssKiB()) / 1024.0);
    return "lines read: " + std::to_string(loaded.lines) + "\n" +
           "process events: " + std::to_string(store.rows(RowKind::process).size()) + "\n" +
           "file events: " + std::to_string(store.rows(RowKind::file).size()) + "\n" +
           "load errors: " + std::to_string(store.loadErrors().size()) + "\n" +
           "elapsed seconds: " + seconds + "\n" + "peak RSS MiB: " + rss + "\n";
}

// Writes what the options ask for of the loaded logs; the exit status.
int writeAnswer(const korvantis::InspectOptions& options, korvantis::Workspace& workspace,
                korvantis::TaskQueue& tasks, std::optional<korvantis::FilterQuery>& query,
                const std::optional<korvantis::RowSort>& sort, korvantis::CheckedOutput& out,
                const Loaded& loaded, korvantis::SessionMarks* session) {
    const EventStore& store = workspace.store;
    if (session != nullptr && korvantis::editsMarks(options)) {
        return session->edit(*query, korvantis::markEditOf(options));
    }
    const korvantis::RowMarks* marks = session != nullptr ? &session->rowMarks() : nullptr;
    if (options.report) {
        if (!query->treeRoots().empty()) {
            query->bindTrees(korvantis::StoreRowCursor::processLinks(store));
        }
        out.write(korvantis::marksReport(store, marks != nullptr ? *marks : korvantis::RowMarks(),
                                         options.filter.value_or(""), *query));
        return 0;
    }
    const auto format = korvantis::exportFormatNamed(options.format.value_or("jsonl"));
    if (options.follow) {
        return korvantis::followRows(workspace, tasks, options.logs.size(), *query, *format,
                                     options.csvFields);
    }
    if (query) {
        return korvantis::writeShownRows(store, *query, *format, options.csvFields, sort, marks)
                   ? 0
                   : 1;
    }
    if (options.tree) {
        out.write(store.jsonTreeRaw());
        out.write("\n");
    } else if (options.treeMarks) {
        const korvantis::RowsSnapshot rows = korvantis::RowsSnapshot::of(store);
        out.write(korvantis::encodeNodeMarks(korvantis::nodeMarks(rows.rows, {})));
        out.write("\n");
    } else if (options.gaps) {
        out.write(gapLines(store, workspace.loader.outcomes()));
    } else if (options.lifetimes) {
        out.write(korvantis::lifetimeLines(store, workspace.loader.outcomes()));
    } else if (options.dump) {
        dumpStore(store, out);
    } else if (options.summary) {
        out.write(
            korvantis::summaryText(korvantis::summarizeTrace(korvantis::RowsSnapshot::of(store))));
    } else {
        out.write(loadFigures(store, loaded));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    korvantis::InspectOptions options;
    if (!korvantis::parseArguments(argc, argv, options)) {
        std::cerr << korvantis::kInspectUsage;
        return 2;
    }
    korvantis::CheckedOutput out;
    // Every output ends here: a failed write is a failed run.
    auto finish = [&out](int status) {
        if (const std::string failed = out.finish(); !failed.empty()) {
            std::cerr << "korvantis-inspect: " << failed << "\n";
            return 1;
        }
        return status;
    };
    if (options.help || options.version) {
        out.write(options.help ? korvantis::helpText()
                               : "korvantis-inspect " KORVANTIS_VERSION "\n");
        return finish(0);
    }
    if (options.pretty) {
        writeReadable(out);
        return finish(0);
    }
    std::shared_ptr<korvantis::RuleSet> rules;
    if (!options.rules.empty()) {
        std::string error;
        rules = korvantis::loadRuleFiles(options.rules, error);
        if (!rules) {
            std::cerr << "korvantis-inspect: --rules: " << error << "\n";
            return 2;
        }
    }
    if (options.rulesReport) {
        for (const korvantis::RuleEntry& entry :
             rules ? rules->entries : std::vector<korvantis::RuleEntry>{}) {
            out.write(entry.reportLine() + "\n");
        }
        return finish(0);
    }
    if (options.indexInfo) {
        return finish(korvantis::writeIndexInfo(options.logs, out));
    }
    korvantis::LogFiles::raiseOpenFileLimit();
    if (options.follow) {
        korvantis::holdStopSignals();  // before any thread starts
    }
    // Spools left by instances that crashed go now; with --no-index the
    // cache is not even looked at.
    if (!options.noIndex) {
        korvantis::CacheFile::removeStale();
    }
    std::optional<korvantis::FilterQuery> query;
    std::optional<korvantis::RowSort> sort;
    if (!checkRowOptions(options, query, sort)) {
        return 2;
    }
    if (options.toClickHouse) {
        return korvantis::sendToClickHouse(options, rules);
    }
    std::optional<korvantis::SessionMarks> session;
    if (options.session) {
        session.emplace(*options.session);
        if (const int status = session->read(options); status != 0) {
            return status;
        }
    }
    korvantis::TaskQueue tasks;
    korvantis::Workspace workspace(tasks.poster());
    workspace.loader.setRules(rules);
    // Logs fetched from a server are files of the moment: not indexed.
    if (!options.noIndex && !options.fromClickHouse) {
        if (std::string folder = korvantis::IndexCache::defaultFolder(true); !folder.empty()) {
            workspace.loader.setIndexCache(
                std::make_shared<korvantis::IndexCache>(std::move(folder)));
        }
    }
    // What a query finds is loaded as the logs it was sent from, as it comes.
    korvantis::ClickHouseFeedRun feed;
    if (options.fromClickHouse) {
        feed.start(options, workspace, tasks);
    }
    Loaded loaded = loadLogs(workspace, tasks, options, feed);
    if (!feed.finish()) {
        return 1;
    }
    if (!giveOwedRuleHits(workspace, rules.get())) {
        loaded.status = 1;
    }
    if (session) {
        session->attach(workspace.store);
    }
    const int answered = writeAnswer(options, workspace, tasks, query, sort, out, loaded,
                                     session ? &*session : nullptr);
    return finish(loaded.status | answered);
}
