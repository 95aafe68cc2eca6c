// A log read back from its index must look exactly as when it was loaded:
// every output of korvantis-inspect compared between a load without the
// index, the load that writes it, a load from it, and a load from it plus
// the log's new tail; and what each change to a log or its index gives.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "index/index_cache.h"
#include "input/temp_files.h"
#include "rules/rule_set.h"
#include "store/event_store.h"
#include "support/compressed_copies.h"
#include "support/loading.h"
#include "support/log_lines.h"
#include "support/store_content.h"

namespace korvantis {
namespace {

using testing::TempDir;
using testsupport::fileLine;
using testsupport::procLine;

struct Ran {
    std::string out;
    std::string err;
    int status = 0;
};

class IndexReopen : public ::testing::Test {
  protected:
    // korvantis-inspect with `args`, over the test's own cache.
    Ran inspect(const std::string& args) const {
        const std::string errPath = (dir_.path() / "stderr").string();
        const std::string command = "XDG_CACHE_HOME='" + cache() + "' " KORVANTIS_INSPECT " " +
                                    args + " 2>'" + errPath + "'";
        std::FILE* child = ::popen(command.c_str(), "r");
        Ran run;
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, child)) > 0;) {
            run.out.append(buffer, n);
        }
        run.status = ::pclose(child);
        std::ifstream err(errPath);
        run.err.assign(std::istreambuf_iterator<char>(err), {});
        return run;
    }
    std::string cache() const { return (dir_.path() / "cache").string(); }
    // Rules that read the parents, the command line and files: rows read
    // from an index must get from a rescan the hits a load gives them.
    std::string rules() const {
        static constexpr std::string_view kRules =
            "title: Parents\n"
            "logsource: {product: macos, category: process_creation}\n"
            "detection:\n"
            "  s: {Image|endswith: [/p3, /t], ParentImage|contains: /p}\n"
            "  filter_p5: {ParentImage|endswith: /p5}\n"
            "  condition: s and not 1 of filter_*\n"
            "level: high\n"
            "---\n"
            "title: Flags\n"
            "id: flags\n"
            "logsource: {product: macos, category: process_creation}\n"
            "detection: {s: {CommandLine|contains: ' -x'}, condition: s}\n"
            "---\n"
            "title: Files\n"
            "logsource: {product: macos, category: file_event}\n"
            "detection: {s: {TargetFilename|endswith: [/f, /f3]}, condition: s}\n"
            "level: low\n";
        return write("rules.yml", kRules);
    }
    std::string write(const std::string& name, std::string_view bytes) const {
        return dir_.write(name, bytes);
    }
    void append(const std::string& path, std::string_view bytes) const {
        std::ofstream(path, std::ios::app | std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // The log "log.json" of `text`, indexed alone in an empty cache, then
    // changed by `change`.
    std::string indexedThenChanged(const std::string& text,
                                   const std::function<void(const std::string&)>& change) const {
        std::filesystem::remove_all(cache());
        const std::string path = write("log.json", text);
        EXPECT_EQ(inspect("--dump '" + path + "'").status, 0);
        change(path);
        return path;
    }
    std::string indexInfo(const std::string& log) const {
        return inspect("--index-info '" + log + "'").out;
    }

    // Every output, from the logs as they are now (`logs`: their paths,
    // each in single quotes).
    std::vector<Ran> outputs(const std::string& logs, const std::string& index) const {
        const std::vector<std::string> kOutputs = {
            "--dump",
            "--tree",
            "--summary",
            "--lifetimes",
            "--gaps",
            "--filter ''",
            "--filter 'type:exec' --export csv",
            "--filter '-type:fork -type:open' --export csv --fields kind,type,pid,path",
            "--filter 'path:/ -pid:1' --export csv --fields kind,ppid,path,args,cwd,outcome,utc",
            "--filter 'e' --sort -pid --export jsonl",
            "--rules '" + rules() + "' --export csv --fields kind,pid,path,rules,rule_ids,level",
            "--rules '" + rules() + "' --tree-marks",
            "",
        };
        std::vector<Ran> runs;
        for (const std::string& output : kOutputs) {
            Ran run = inspect(index + " " + output + " " + logs);
            // What the plain run prints of time and memory is no output.
            if (output.empty()) {
                run.out = run.out.substr(0, run.out.find("elapsed seconds"));
            }
            run.err.clear();
            runs.push_back(run);
        }
        return runs;
    }
    void expectSameOutputs(const std::string& log, const std::string& what,
                           const std::string& second = "") const {
        const std::string logs = "'" + log + "'" + (second.empty() ? "" : " '" + second + "'");
        const std::vector<Ran> fresh = outputs(logs, "--no-index");
        const std::vector<Ran> indexed = outputs(logs, "");
        ASSERT_EQ(fresh.size(), indexed.size());
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            EXPECT_EQ(fresh[i].out, indexed[i].out) << what << ", output " << i;
            EXPECT_EQ(fresh[i].status, indexed[i].status) << what << ", output " << i;
            // A usage error would compare nothing.
            EXPECT_EQ(fresh[i].status, 0) << what << ", output " << i;
        }
    }

    // Follows `log` (read from its index) while `more` is appended, until
    // it holds all a fresh load does and the loader rests.
    void followWhileAppending(const std::string& log, std::string_view more) const {
        testsupport::LoadingWorkspace followed;
        followed.ws.loader.setIndexCache(
            std::make_shared<IndexCache>(cache() + "/korvantis/index"));
        // Without facts, as the index written by korvantis-inspect keeps
        // the tree: the reopening shows that tree, and the grown log's tree
        // needs the nodes it did not place.
        followed.ws.loader.setTreeFactsWanted(false);
        followed.ws.loader.setFollowing(true);
        followed.load(log);
        append(log, more);
        testsupport::LoadingWorkspace fresh;
        fresh.ws.loader.setTreeFactsWanted(false);
        fresh.load(log);
        const std::size_t lines = fresh.ws.store.lineRefs().size();
        // A guard against hanging: the watch wakes the loader every second.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        auto done = [&] {
            return followed.ws.store.lineRefs().size() == lines && followed.ws.loader.idle() &&
                   followed.ws.store.jsonTreeRaw() == fresh.ws.store.jsonTreeRaw();
        };
        followed.tasks.runUntil(
            [&] { return done() || std::chrono::steady_clock::now() > giveUp; });
        EXPECT_TRUE(done()) << followed.ws.store.lineRefs().size() << " lines of " << lines;
        // The followed store reads its first rows in place from the index and
        // keeps the tail's: together they are the fresh load's rows.
        const EventStore& a = followed.ws.store;
        const EventStore& b = fresh.ws.store;
        for (std::size_t place = 0; place < lines; ++place) {
            ASSERT_EQ(a.lineRefs().ref(LinePlace(place)), b.lineRefs().ref(LinePlace(place)));
        }
        for (const RowKind kind : kRowKinds) {
            ASSERT_EQ(a.rows(kind).size(), b.rows(kind).size());
            for (std::size_t i = 0; i < a.rows(kind).size(); ++i) {
                const RowView x = a.row(kind, i);
                const RowView y = b.row(kind, i);
                ASSERT_EQ(std::tie(x.type, x.timestamp, x.path, x.pid, x.ppid, x.time, x.outcome),
                          std::tie(y.type, y.timestamp, y.path, y.pid, y.ppid, y.time, y.outcome));
                for (std::size_t f = 0; f < kFactCount; ++f) {
                    ASSERT_EQ(x.facts[static_cast<Fact>(f)], y.facts[static_cast<Fact>(f)]);
                }
                ASSERT_EQ(a.rows(kind).placeOf(i), b.rows(kind).placeOf(i));
            }
        }
    }

    TempDir dir_;
};

// A native log of random rows and broken lines.
std::string randomNativeLog(std::mt19937& random, int lines) {
    static const char* const kEvents[] = {"ES_EVENT_TYPE_NOTIFY_EXEC", "ES_EVENT_TYPE_NOTIFY_FORK",
                                          "ES_EVENT_TYPE_NOTIFY_CREATE",
                                          "ES_EVENT_TYPE_NOTIFY_RENAME"};
    std::string text;
    for (int i = 0; i < lines; ++i) {
        const int pid = static_cast<int>(random() % 40) + 2;
        const int ppid = static_cast<int>(random() % 40) + 1;
        const std::string path = "/bin/p" + std::to_string(random() % 9);
        const std::string time = "2026-12-07T10:00:" + std::to_string(10 + random() % 50) + "Z";
        switch (random() % 12) {
            case 0:
                text += "{\"event\":";  // broken
                break;
            case 1:
                text += "\xff\xfe not text";
                break;
            case 2:
                break;  // blank
            case 3:
            case 4:
            case 5:
                text += fileLine(kEvents[2 + random() % 2], pid, path + "/f", time);
                break;
            default:
                text += procLine(kEvents[random() % 2], pid, ppid, path, time);
        }
        text += "\n";
    }
    return text;
}

// An eslogger log of random runs, exits, files and message number gaps.
std::string randomEsloggerLog(std::mt19937& random, int lines, std::uint64_t& seq) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        seq += random() % 10 == 0 ? 2 + random() % 5 : 1;
        const int pid = static_cast<int>(random() % 20) + 2;
        const int version = static_cast<int>(random() % 3) + 1;
        auto process = [&](int p, int v, const std::string& path) {
            return R"({"audit_token":{"pid":)" + std::to_string(p) +
                   R"(,"euid":501,"pidversion":)" + std::to_string(v) +
                   R"(},"ppid":1,"executable":{"path":")" + path + R"("}})";
        };
        std::string event;
        switch (random() % 5) {
            case 0:
                event = R"("exec":{"target":)" + process(pid, version + 1, "/bin/t") +
                        R"(,"args":["t","-x"],"cwd":{"path":"/tmp"}})";
                break;
            case 1:
                event = R"("fork":{"child":)" + process(pid + 1, 1, "/bin/p") + "}";
                break;
            case 2:
                event = R"("exit":{"stat":)" + std::to_string(random() % 3) + "}";
                break;
            case 3:
                event =
                    R"("create":{"destination_type":0,"destination":{"existing_file":{"path":"/tmp/f)" +
                    std::to_string(random() % 7) + R"("}}})";
                break;
            default:
                text += "not json at all\n";
                continue;
        }
        text += R"({"global_seq_num":)" + std::to_string(seq) + R"(,"time":"2026-12-07T10:00:00.)" +
                std::to_string(100000 + i) + R"(Z","process":)" + process(pid, version, "/bin/p") +
                R"(,"event":{)" + event + "}}\n";
    }
    return text;
}

TEST_F(IndexReopen, EveryOutputIsTheSameFromTheLogFromItsIndexAndFromItsIndexPlusATail) {
    std::mt19937 random(38);
    std::uint64_t seq = 0;
    struct Log {
        std::string name;
        std::string text;
        std::string more;  // appended afterwards
    };
    const std::string native = randomNativeLog(random, 400);
    const std::string eslogger = randomEsloggerLog(random, 400, seq);
    const std::string esloggerMore = randomEsloggerLog(random, 150, seq);
    std::ifstream sample(KORVANTIS_SAMPLES_DIR "/sample.json");
    std::ifstream esSample(KORVANTIS_SAMPLES_DIR "/eslogger.json");
    const std::vector<Log> logs = {
        {"sample.json", std::string(std::istreambuf_iterator<char>(sample), {}),
         randomNativeLog(random, 30)},
        {"eslogger.json", std::string(std::istreambuf_iterator<char>(esSample), {}), esloggerMore},
        {"native.json", native, randomNativeLog(random, 200)},
        {"es.json", eslogger, esloggerMore},
        {"no-last-feed.json", native + "{\"event\":", "\"x\"}\n" + native},
        {"empty.json", "", native},
        {"native.json.gz", testsupport::gzipped(native), ""},
    };
    for (const Log& log : logs) {
        SCOPED_TRACE(log.name);
        const std::string path = write(log.name, log.text);
        // The first load writes the index, the second reads it.
        expectSameOutputs(path, log.name + " as written");
        if (log.name.ends_with(".gz")) {
            EXPECT_NE(indexInfo(path).find("no index"), std::string::npos);
            continue;
        }
        EXPECT_NE(indexInfo(path).find("matches the log"), std::string::npos) << indexInfo(path);
        {
            // Under rules too the rows come from the index, owing their hits.
            testsupport::LoadingWorkspace ruled;
            ruled.ws.loader.setIndexCache(
                std::make_shared<IndexCache>(cache() + "/korvantis/index"));
            std::string error;
            ruled.ws.loader.setRules(loadRuleFiles({rules()}, error));
            ruled.load(path);
            EXPECT_TRUE(ruled.ws.loader.outcomes().back().fromIndex);
            EXPECT_EQ(ruled.ws.loader.loadsOwingRules(), 1u);
        }
        append(path, log.more);
        // From the index and the tail; then from the index written anew.
        expectSameOutputs(path, log.name + " grown");
        EXPECT_NE(indexInfo(path).find("matches the log"), std::string::npos) << indexInfo(path);
        // Followed: what is appended extends the index, which then holds
        // the whole log.
        followWhileAppending(path, log.more);
        EXPECT_NE(indexInfo(path).find("matches the log"), std::string::npos) << indexInfo(path);
        expectSameOutputs(path, log.name + " followed");
    }
    // One store of two indexed logs: the first is read in place from its
    // index, the second's rows are copied after it.
    const std::string first = (dir_.path() / "es.json").string();
    expectSameOutputs(first, "two logs", (dir_.path() / "native.json").string());
}

// The tree a reopening shows is the one its index keeps, not built again:
// it must be the tree of a fresh load, and a second log loaded after it must
// find the first one's nodes.
TEST_F(IndexReopen, TheTreeKeptInTheIndexIsTheTreeOfAFreshLoad) {
    std::mt19937 random(21);
    std::uint64_t seq = 0;
    std::ifstream esSample(KORVANTIS_SAMPLES_DIR "/eslogger.json");
    const std::string second = write("second.json", randomNativeLog(random, 100));
    struct Case {
        const char* name;
        std::string text;
        bool facts;  // whether the index is written with the tree's facts
    };
    const std::vector<Case> cases = {
        {"eslogger.json", std::string(std::istreambuf_iterator<char>(esSample), {}), true},
        {"native.json", randomNativeLog(random, 300), true},
        {"es.json", randomEsloggerLog(random, 300, seq), true},
        {"es-no-facts.json", randomEsloggerLog(random, 300, seq), false},
        {"empty.json", "", true},
    };
    const auto indexed = [&] {
        auto loading = std::make_unique<testsupport::LoadingWorkspace>();
        loading->ws.loader.setIndexCache(
            std::make_shared<IndexCache>(cache() + "/korvantis/index"));
        return loading;
    };
    auto expectSameTree = [](const EventStore& a, const EventStore& b, const char* what) {
        EXPECT_EQ(a.jsonTreeRaw(), b.jsonTreeRaw()) << what;
        EXPECT_EQ(a.jsonTreeFacts(), b.jsonTreeFacts()) << what;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write(c.name, c.text);
        testsupport::LoadingWorkspace fresh;
        fresh.load(path);
        ASSERT_FALSE(fresh.ws.store.jsonTreeRaw().empty());
        std::filesystem::remove_all(cache());
        if (c.facts) {
            std::filesystem::create_directories(cache() + "/korvantis/index");
            indexed()->load(path);
        } else {
            ASSERT_EQ(inspect("--tree '" + path + "'").status, 0);  // no facts: built again
        }
        const auto reopened = indexed();
        reopened->load(path);
        ASSERT_TRUE(reopened->ws.loader.outcomes().back().fromIndex);
        expectSameTree(fresh.ws.store, reopened->ws.store, "reopened");
        // A kept tree is read in place: a window that holds it keeps it
        // readable after the store that gave it is gone.
        {
            auto other = indexed();
            other->load(path);
            const SharedText held = other->ws.store.sharedJsonTree();
            other.reset();
            EXPECT_EQ(*held, fresh.ws.store.jsonTreeRaw());
        }
        // A kept tree leaves the nodes to be placed when another load needs
        // them.
        EXPECT_EQ(reopened->ws.loader.processTree().nodes().size(),
                  c.facts ? 0 : fresh.ws.loader.processTree().nodes().size());
        fresh.load(second);
        reopened->load(second);
        expectSameTree(fresh.ws.store, reopened->ws.store, "with a second log");
        EXPECT_EQ(reopened->ws.loader.processTree().nodes().size(),
                  fresh.ws.loader.processTree().nodes().size());
    }
}

// Sets a file's modification time to what it was.
void keepTime(const std::string& path, const struct stat& before) {
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST_F(IndexReopen, AChangedLogIsLoadedAfreshWithANoticeAndAGrownOneReadOnFromItsIndex) {
    std::mt19937 random(7);
    std::uint64_t seq = 0;
    // More than the MiB of its identity's tail, so that a change there and
    // one before it differ.
    const std::string text = randomEsloggerLog(random, 16000, seq);
    const std::string more = randomEsloggerLog(random, 50, seq);
    ASSERT_GT(text.size(), std::size_t{3} << 20);
    const std::string kAfresh = "changed since it was indexed; it is loaded afresh";
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> change;
        const char* notice;  // on standard error; nullptr: none
    };
    const std::vector<Case> cases = {
        {"unchanged", [](const std::string&) {}, nullptr},
        {"touched",
         [](const std::string& path) {
             const struct timespec times[2] = {{0, UTIME_NOW}, {12345, 0}};
             ::utimensat(AT_FDCWD, path.c_str(), times, 0);
         },
         kAfresh.c_str()},
        {"truncated", [](const std::string& path) { std::filesystem::resize_file(path, 1000); },
         kAfresh.c_str()},
        {"replaced",
         [&](const std::string& path) {
             std::filesystem::remove(path);
             std::ofstream(path) << text;
         },
         kAfresh.c_str()},
        {"grown", [&](const std::string& path) { append(path, more); }, nullptr},
        {"grown with its last MiB changed",
         [&](const std::string& path) {
             std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(static_cast<std::streamoff>(text.size() - 100));
             f.write("0", 1);
             f.close();
             append(path, more);
         },
         kAfresh.c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = indexedThenChanged(text, c.change);
        const Ran fresh = inspect("--no-index --dump '" + path + "'");
        const Ran indexed = inspect("--dump '" + path + "'");
        EXPECT_EQ(fresh.out, indexed.out);
        EXPECT_EQ(fresh.status, indexed.status);
        if (c.notice == nullptr) {
            EXPECT_EQ(indexed.err, "");
        } else {
            EXPECT_EQ(indexed.err, "korvantis-inspect: log.json " + std::string(c.notice) + "\n");
        }
        // Indexed again as it is now.
        EXPECT_NE(indexInfo(path).find("matches the log"), std::string::npos) << indexInfo(path);
    }

    // A change the log's identity cannot see (a path rewritten, its size
    // and time kept): in the first 2 MiB, which a reopening reads and
    // shows while the index is checked, it is noticed, and the log is
    // loaded afresh; after them the index is what is read, as before.
    const std::size_t previewed = std::size_t{2} << 20;
    ASSERT_LT(previewed + 1000, text.size() - (std::size_t{1} << 20));
    const std::size_t seen = text.find("/bin/t", std::size_t{3} << 19);
    const std::size_t unseen = text.find("/bin/t", previewed + 100);
    ASSERT_LT(seen + 6, previewed);
    ASSERT_LT(unseen + 6, text.size() - (std::size_t{1} << 20));
    for (const std::size_t at : {seen, unseen}) {
        SCOPED_TRACE(at == seen ? "rewritten where the reopening reads" : "rewritten after it");
        std::filesystem::remove_all(cache());
        const std::string path = write("log.json", text);
        const Ran before = inspect("--dump '" + path + "'");
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        std::string rewritten = text;
        rewritten.replace(at, 6, "/bin/u");
        {
            std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
            f.write(rewritten.data(), static_cast<std::streamsize>(rewritten.size()));
        }
        keepTime(path, st);
        const Ran indexed = inspect("--dump '" + path + "'");
        const Ran fresh = inspect("--no-index --dump '" + path + "'");
        EXPECT_NE(fresh.out, before.out);
        EXPECT_EQ(indexed.out, at == seen ? fresh.out : before.out);
        EXPECT_EQ(indexed.err, at == seen ? "korvantis-inspect: log.json: its index cannot be used "
                                            "(its first rows are not those of the log); it is "
                                            "loaded afresh\n"
                                          : "");
    }
}

// A reopening shows the log's first rows, read from the log, while the
// index is checked; then the index's rows take their place, or, when it
// cannot be used, the load goes on after them. Either way no list ever
// shrinks, what was shown is what the store holds in the end, and rows
// read before the change of hands stay readable.
TEST_F(IndexReopen, AReopeningShowsItsFirstRowsAtOnceAndTakesNoneBack) {
    std::mt19937 random(11);
    std::uint64_t seq = 0;
    // More than a reopening reads before the index is checked.
    const std::string text = randomEsloggerLog(random, 16000, seq);
    const std::string index = cache() + "/korvantis/index";
    struct Case {
        const char* name;
        std::function<void(const std::string& log)> change;
        bool fromIndex;
    };
    const std::vector<Case> cases = {
        {"its index as written", [](const std::string&) {}, true},
        {"a byte of its index flipped",
         [&](const std::string&) {
             for (const auto& entry : std::filesystem::directory_iterator(index)) {
                 std::fstream f(entry.path(), std::ios::in | std::ios::out | std::ios::binary);
                 f.seekp(static_cast<std::streamoff>(entry.file_size() / 2));
                 f.put('\x7f');
             }
         },
         false},
        {"a path among its first lines rewritten, its size and time kept",
         [&](const std::string& log) {
             struct stat st;
             ASSERT_EQ(::stat(log.c_str(), &st), 0);
             std::fstream f(log, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(static_cast<std::streamoff>(text.find("/bin/t", std::size_t{3} << 19)));
             f.write("/bin/u", 6);
             f.close();
             keepTime(log, st);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = indexedThenChanged(text, c.change);
        // Without the tree's facts, as the index written above keeps it.
        testsupport::LoadingWorkspace fresh;
        fresh.ws.loader.setTreeFactsWanted(false);
        fresh.load(path);

        testsupport::LoadingWorkspace again;
        again.ws.loader.setIndexCache(std::make_shared<IndexCache>(index));
        again.ws.loader.setTreeFactsWanted(false);
        const EventStore& store = again.ws.store;
        PerKind<std::size_t> seen{};
        bool shrank = false;
        std::optional<PreviewRows::Snapshot> shown;
        again.ws.loader.loadJsonFile(path);
        again.tasks.runUntil([&] {
            for (const RowKind kind : kRowKinds) {
                shrank = shrank || store.rows(kind).size() < seen[kind];
                seen[kind] = store.rows(kind).size();
            }
            if (!shown && seen[RowKind::process] > 0) {
                shown = store.rows(RowKind::process).snapshot(seen[RowKind::process]);
            }
            return !again.ws.loader.outcomes().empty();
        });
        EXPECT_FALSE(shrank);
        EXPECT_EQ(again.ws.loader.outcomes().back().fromIndex, c.fromIndex);
        EXPECT_EQ(testsupport::storeContent(again.ws), testsupport::storeContent(fresh.ws));
        ASSERT_TRUE(shown);
        const PreviewRows& rows = store.rows(RowKind::process);
        EXPECT_LT(shown->size(), rows.size());
        // As texts: the rows shown point into the store's own texts, the
        // index's rows into the index.
        auto asTexts = [](const RowView& r) {
            return std::make_tuple(r.type, r.timestamp, r.path, r.pid, r.ppid, r.time,
                                   r.facts.all());
        };
        for (std::size_t i = 0; i < shown->size(); ++i) {
            ASSERT_EQ(asTexts((*shown)[i]), asTexts(rows[i])) << "row " << i;
        }
    }
}

TEST_F(IndexReopen, ADamagedIndexIsMadeAgainWithANotice) {
    std::mt19937 random(3);
    const std::string path = write("log.json", randomNativeLog(random, 300));
    const std::string expected = inspect("--no-index --dump '" + path + "'").out;
    struct Damage {
        const char* name;
        std::function<void(std::string& bytes)> apply;
    };
    const std::vector<Damage> damages = {
        {"a byte flipped in a section", [](std::string& b) { b[b.size() / 2] ^= 0x20; }},
        {"cut short", [](std::string& b) { b.resize(b.size() / 3); }},
        {"emptied", [](std::string& b) { b.clear(); }},
        {"a newer format", [](std::string& b) { b[8] = 99; }},
        {"foreign bytes", [](std::string& b) { b.assign(b.size(), 'x'); }},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        ASSERT_EQ(inspect("--dump '" + path + "'").out, expected);
        const std::string info = indexInfo(path);
        const std::string index =
            info.substr(info.find(" index ") + 7, info.find(", ") - info.find(" index ") - 7);
        std::ifstream in(index, std::ios::binary);
        std::string bytes(std::istreambuf_iterator<char>(in), {});
        in.close();
        d.apply(bytes);
        std::ofstream(index, std::ios::binary | std::ios::trunc) << bytes;
        const Ran run = inspect("--dump '" + path + "'");
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.err.find("log.json: its index cannot be used ("), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("); it is loaded afresh"), std::string::npos) << run.err;
        EXPECT_NE(indexInfo(path).find("matches the log"), std::string::npos);
    }
    // A store that reads its rows in place outlives its index cut short
    // under it: what was cut reads as empty texts and zeros.
    testsupport::LoadingWorkspace reopened;
    reopened.ws.loader.setIndexCache(std::make_shared<IndexCache>(cache() + "/korvantis/index"));
    reopened.load(path);
    const EventStore& store = reopened.ws.store;
    ASSERT_GT(store.rows(RowKind::process).size(), 0u);
    const std::string info = indexInfo(path);
    const std::string index =
        info.substr(info.find(" index ") + 7, info.find(", ") - info.find(" index ") - 7);
    ASSERT_EQ(::truncate(index.c_str(), 4096), 0);
    volatile std::size_t read = 0;  // every row is read
    for (const RowKind kind : kRowKinds) {
        for (std::size_t i = 0; i < store.rows(kind).size(); ++i) {
            const RowView row = store.row(kind, i);
            read = read + row.path.size() + row.timestamp.size() + row.facts[Fact::summary].size();
        }
    }
    const LineRef last = store.lineRefs().ref(LinePlace(store.lineRefs().size() - 1));
    EXPECT_EQ(last.length + last.checksum, 0u);
    EXPECT_EQ(store.row(RowKind::process, store.rows(RowKind::process).size() - 1).path, "");
}

}  // namespace
}  // namespace korvantis
