// Logs as they may come off a compromised machine. Each is written at test
// time into a temporary folder, loaded into a store, and must load without a
// crash or a hang, within memory bounded by its size, and with every line
// accounted for.
//
// KORVANTIS_HOSTILE_SMALL=1 shrinks the largest logs tenfold (the sanitizer
// build sets it); the shapes stay the same.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "ingest/received_json.h"
#include "ingest/stream_reader.h"
#include "ingest/temp_files.h"
#include "store/event_keeper.h"
#include "store/pretty_json.h"
#include "support/accounting.h"
#include "tree/tree_url.h"

namespace korvantis {
namespace {

using testing::TempDir;
using testsupport::checkAccounting;
using testsupport::LineAccount;

constexpr std::string_view kTreeOfNothing =
    R"([{"name":"launchd","children":[{"name":"Untracked Heritage"}]}])";
constexpr std::size_t kMiB = std::size_t{1} << 20;

bool smallRun() {
    const char* value = std::getenv("KORVANTIS_HOSTILE_SMALL");
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

std::size_t scaled(std::size_t n) {
    return smallRun() ? n / 10 : n;
}

// Peak resident memory of this process so far. Every test runs in a process
// of its own (one CTest test per GoogleTest test), so growth is per test.
std::size_t peakRss() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Writes a log piece by piece, so that making a large log does not itself
// hold it in memory.
class LogFile {
  public:
    LogFile(const TempDir& dir, const std::string& name)
        : path_((dir.path() / name).string()), out_(std::fopen(path_.c_str(), "wb")) {
        EXPECT_NE(out_, nullptr);
    }
    ~LogFile() { close(); }
    LogFile& operator<<(std::string_view bytes) {
        std::fwrite(bytes.data(), 1, bytes.size(), out_);
        size_ += bytes.size();
        return *this;
    }
    LogFile& repeat(char c, std::size_t n) {
        const std::string block(64 * 1024, c);
        for (std::size_t left = n; left > 0;) {
            const std::size_t part = std::min(left, block.size());
            *this << std::string_view(block).substr(0, part);
            left -= part;
        }
        return *this;
    }
    const std::string& close() {
        if (out_ != nullptr) {
            std::fclose(out_);
            out_ = nullptr;
        }
        return path_;
    }
    std::size_t size() const { return size_; }

  private:
    std::string path_;
    std::FILE* out_;
    std::size_t size_ = 0;
};

std::string execLine(std::int64_t pid, std::int64_t ppid, std::string_view path) {
    return R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"2025-12-06 10:00:00","process":{"pid":)" +
           std::to_string(pid) + R"(,"ppid":)" + std::to_string(ppid) + R"(,"path":")" +
           std::string(path) + R"("}})";
}

// Loads `path` into `keeper`, checks that the memory the load took stays
// within `base + perByte * file size + perLine * lines`, and checks the
// accounting of every line.
LineAccount loadAndAccount(EventKeeper& keeper, const std::string& path, std::size_t base,
                           double perByte, std::size_t perLine) {
    const std::size_t before = peakRss();
    keeper.loadJsonFile(path);
    const std::size_t growth = peakRss() - before;

    const std::string bytes = readAll(path);
    LineAccount account;
    EXPECT_EQ(checkAccounting(bytes, keeper, {}, &account), "");
    const double bound = static_cast<double>(base) + perByte * static_cast<double>(bytes.size()) +
                         static_cast<double>(perLine * account.lines);
    std::printf("load of %zu KiB in %zu lines: peak memory grew by %zu KiB (bound %.0f KiB)\n",
                bytes.size() / 1024, account.lines, growth / 1024, bound / 1024);
    EXPECT_LE(static_cast<double>(growth), bound)
        << "the load of " << bytes.size() << " bytes in " << account.lines << " lines took "
        << growth / kMiB << " MiB";
    return account;
}

// The greatest nesting of arrays in a tree JSON: one for the outer array and
// one per level of "children".
std::size_t arrayDepth(std::string_view json) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']') {
            --depth;
        }
    }
    return deepest;
}

// Runs `load` on a thread and waits a generous while for it, so that a load
// that blocks fails the test instead of stalling the suite. A blocked load is
// left behind (the test has failed by then).
bool finishes(std::function<void()> load) {
    auto done = std::async(std::launch::async, std::move(load));
    if (done.wait_for(std::chrono::minutes(2)) == std::future_status::ready) {
        done.get();
        return true;
    }
    std::thread([d = std::move(done)]() mutable { d.wait(); }).detach();
    return false;
}

TEST(HostileLogs, MillionProcessChain) {
    const std::size_t n = scaled(1'000'000);
    TempDir dir;
    LogFile log(dir, "chain.json");
    for (std::size_t i = 0; i < n; ++i) {
        log << execLine(static_cast<std::int64_t>(i) + 2, static_cast<std::int64_t>(i) + 1,
                        "/usr/bin/p" + std::to_string(i))
            << "\n";
    }
    EventKeeper keeper;
    const LineAccount account = loadAndAccount(keeper, log.close(), 64 * kMiB, 2.0, 512);
    EXPECT_EQ(account.procPreviews, n);

    // One chain under launchd, each process the only child of the one before.
    const std::string& tree = keeper.jsonTreeRaw();
    EXPECT_EQ(arrayDepth(tree), n + 1);
    EXPECT_TRUE(tree.starts_with(
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"p0","children":[{"name":"p1",)"));
    std::string end = "{\"name\":\"p" + std::to_string(n - 1) + "\"}";
    for (std::size_t i = 0; i < n; ++i) {
        end += "]}";
    }
    EXPECT_TRUE(tree.ends_with(end + "]"));
    EXPECT_EQ(readTreeUrl(makeTreeUrlText(tree)), tree);

    keeper.selectEvent(keeper.procPreviews().back().id);
    EXPECT_NE(keeper.activeEventJson().find("p" + std::to_string(n - 1) + "\""), std::string::npos);
}

TEST(HostileLogs, SingleLineOf64MiB) {
    const std::size_t pathSize = scaled(64 * kMiB);
    TempDir dir;
    LogFile log(dir, "long.json");
    log << R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":2,"ppid":1,"path":"/bin/)";
    log.repeat('a', pathSize);
    log << R"("}})";
    const std::size_t size = log.size();
    EventKeeper keeper;
    // The line is held by the reader, the store and the node (path and name)
    // and written once more into the tree JSON.
    const LineAccount account = loadAndAccount(keeper, log.close(), 64 * kMiB, 8.0, 0);
    EXPECT_EQ(account.procPreviews, 1u);
    ASSERT_EQ(keeper.nodes().size(), 1u);
    EXPECT_EQ(keeper.nodes()[0].name.size(), pathSize);
    EXPECT_GT(keeper.jsonTreeRaw().size(), pathSize);
    EXPECT_EQ(keeper.jsonMapping().entry(0).text.size(), size);
}

// A line whose ignored key nests deeper than the JSON parser goes: refused as
// one load error; the lines around it still load, and the readable form of
// such text is the text itself.
TEST(HostileLogs, LineNested100000LevelsInsideAnIgnoredKey) {
    constexpr std::size_t kDepth = 100'000;
    TempDir dir;
    LogFile log(dir, "deep.json");
    log << execLine(10, 1, "/bin/before") << "\n";
    log << R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","ignored":)";
    log.repeat('[', kDepth).repeat(']', kDepth);
    log << R"(,"process":{"pid":11,"ppid":10,"path":"/bin/deep"}})"
        << "\n";
    log << R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"t","x":)";
    for (std::size_t i = 0; i < kDepth; ++i) {
        log << R"({"a":)";
    }
    log << "1";
    log.repeat('}', kDepth);
    log << R"(,"file":{"pid":1,"destination":"/tmp/deep"}})"
        << "\n";
    log << execLine(12, 10, "/bin/after") << "\n";
    EventKeeper keeper;
    const LineAccount account = loadAndAccount(keeper, log.close(), 64 * kMiB, 8.0, 0);
    EXPECT_EQ(account.procPreviews, 2u);
    EXPECT_EQ(account.refused, 2u);
    ASSERT_EQ(keeper.loadErrors().size(), 2u);

    const std::string& deepLine = keeper.loadErrors()[0];
    EXPECT_EQ(prettyPrintedJson(deepLine), deepLine);
    const std::string bareArrays = std::string(kDepth, '[') + std::string(kDepth, ']');
    EXPECT_EQ(prettyPrintedJson(bareArrays), bareArrays);
}

// Each level of nesting is indented two spaces more in the detail text, so a
// line of nested arrays, harmless to load, used to make a detail text a
// thousand times its size when its row was picked.
TEST(HostileLogs, NestedArraysDoNotMultiplyTheDetailText) {
    auto nestedLine = [](std::size_t depth, std::size_t repeats) {
        std::string line =
            R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":2,"ppid":1,"path":"/bin/x"},"x":[)";
        for (std::size_t i = 0; i < repeats; ++i) {
            line += (i > 0 ? "," : "") + std::string(depth, '[') + std::string(depth, ']');
        }
        return line + "]}";
    };
    TempDir dir;
    const std::string bomb = nestedLine(1000, 100);
    const std::string modest = nestedLine(20, 10);
    const std::string path = dir.write("nested.json", bomb + "\n" + modest + "\n");
    EventKeeper keeper;
    keeper.loadJsonFile(path);
    EXPECT_EQ(checkAccounting(bomb + "\n" + modest + "\n", keeper), "");
    ASSERT_EQ(keeper.procPreviews().size(), 2u);

    keeper.selectEvent(keeper.procPreviews()[0].id);
    EXPECT_LE(keeper.activeEventJson().size(), 16 * bomb.size() + kMiB);
    // Too large to be made readable: shown as it stands.
    EXPECT_EQ(keeper.activeEventJson(), bomb);

    keeper.selectEvent(keeper.procPreviews()[1].id);
    EXPECT_EQ(keeper.activeEventJson(), prettyPrintedJson(modest));
    EXPECT_NE(keeper.activeEventJson(), modest);
}

// Numbers too large for the parser are replaced before a second parse, so
// that ignored keys may hold any valid number. A malformed number next to one
// used to be turned into a valid one by that replacement ("--1.5" into
// "-0.0", "1-1.5" into "10.0"), and the line was accepted.
TEST(HostileLogs, MalformedNumbersBesideLargeOnesAreRefused) {
    auto line = [](std::string_view ignored) {
        return R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","x":)" +
               std::string(ignored) + R"(,"process":{"pid":2,"ppid":1,"path":"/bin/x"}})";
    };
    for (std::string_view bad :
         {"--1.5", "1-1.5", "--123456789012345678901", "0-1e999", "50-92233720368547758082",
          "1.5.5", "1e999e1", "[1-0.5]", "1.5-"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(decodeReceivedJson(line(bad)));
    }
    // Any valid number may stand under an ignored key, even one below -2^63
    // (a valid line was refused for it).
    for (std::string_view good :
         {"-1.5", "1e999", "-123456789012345678901", "[1,-0.5,2e-999]", "{\"a\":-1.5e+5}",
          "-9223372036854775809", "-9999999999999999999", "-9223372036854775808"}) {
        SCOPED_TRACE(good);
        EXPECT_TRUE(decodeReceivedJson(line(good)));
    }
    // In a record field such a number still does not fit.
    EXPECT_FALSE(decodeReceivedJson(
        R"({"event":"x","timestamp":"t","file":{"pid":-9223372036854775809,"destination":"/"}})"));
    const auto lowest = decodeReceivedJson(
        R"({"event":"x","timestamp":"t","file":{"pid":-9223372036854775808,"destination":"/"}})");
    ASSERT_TRUE(lowest && lowest->file);
    EXPECT_EQ(lowest->file->pid, INT64_MIN);
}

TEST(HostileLogs, NulBytes) {
    using namespace std::string_literals;
    TempDir dir;
    LogFile log(dir, "nul.json");
    log << "\0\0\0\n"s;                                // a line of NULs
    log << "\n\0\n"s;                                  // an empty line, a lone NUL
    log << execLine(20, 1, "/bin/\0raw"s) << "\n";     // raw NUL inside a string: refused
    log << execLine(21, 1, "/bin/a\\u0000b") << "\n";  // escaped NUL: a valid path
    log << execLine(22, 1, "/bin/ok") << "\0"s
        << "\n";  // NUL after the object
    log << R"({"event":"ES_EVENT_TYPE_NOTIFY_CREATE","timestamp":"\u0000","fileOld":{"destination":"\u0000"}})"
        << "\n";
    log << "\0"s << execLine(23, 1, "/bin/lead");  // leading NUL, no final line feed
    EventKeeper keeper;
    const LineAccount account = loadAndAccount(keeper, log.close(), 64 * kMiB, 8.0, 0);
    EXPECT_EQ(account.lines, 8u);
    EXPECT_EQ(account.procPreviews, 1u);
    EXPECT_EQ(account.fileWithoutFile, 1u);
    ASSERT_EQ(keeper.nodes().size(), 1u);
    EXPECT_EQ(keeper.nodes()[0].name, "a\0b"s);
    // The NUL in the node's name is escaped in the tree JSON.
    EXPECT_NE(keeper.jsonTreeRaw().find(R"({"name":"a\u0000b"})"), std::string::npos);
    // The record text form writes NUL as \0.
    const auto& errors = keeper.loadErrors();
    ASSERT_EQ(errors.size(), 7u);
    EXPECT_TRUE(errors[5].starts_with("Could not build file event from "));
    EXPECT_NE(errors[5].find(R"(timestamp: "\0")"), std::string::npos);
    EXPECT_EQ(errors[6], "\0"s + execLine(23, 1, "/bin/lead"));
}

// Every chunk boundary of the reader falls at a multiple of 4096 bytes: put
// valid and invalid multi-byte sequences across the first ones.
TEST(HostileLogs, InvalidUtf8SplitAcrossAReadBoundary) {
    TempDir dir;
    LogFile log(dir, "utf8.json");
    auto padTo = [&](std::size_t offset) {
        // A line of ignored bytes that ends so that the next one starts at `offset`.
        const std::string head = R"({"event":"x","timestamp":"t","pad":")";
        const std::size_t fill = offset - log.size() - head.size() - 3;
        log << head;
        log.repeat('.', fill);
        log << "\"}\n";
        ASSERT_EQ(log.size(), offset);
    };
    // Line that starts 4 bytes before a boundary: "é" (C3 A9) straddles it.
    padTo(4096 - 100);
    const std::string prefix =
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":30,"ppid":1,"path":"/)";
    log << prefix;
    log.repeat('a', 100 - prefix.size() - 1);
    log << "\xc3\xa9"
        << R"("}})"
        << "\n";
    // A three-byte sequence cut short at the next boundary.
    padTo(2 * 4096 - 100);
    log << prefix;
    log.repeat('b', 100 - prefix.size() - 2);
    log << "\xe2\x82"
        << "("
        << R"("}})"
        << "\n";
    // A four-byte lead with nothing after it, then a lone continuation byte.
    padTo(3 * 4096 - 1);
    log << "\xf0\n\x80\n";
    // A surrogate encoded in UTF-8, and an overlong slash.
    log << execLine(31, 1, "/bin/\xed\xa0\x80") << "\n";
    log << execLine(32, 1, "/bin\xc0\xaf") << "\n";
    log << execLine(33, 1, "/bin/after") << "\n";
    EventKeeper keeper;
    const LineAccount account = loadAndAccount(keeper, log.close(), 64 * kMiB, 8.0, 0);
    EXPECT_EQ(account.procPreviews, 2u);
    EXPECT_EQ(account.refused, 5u);
    ASSERT_EQ(keeper.nodes().size(), 2u);
    EXPECT_TRUE(keeper.nodes()[0].name.ends_with("a\xc3\xa9"));
    EXPECT_EQ(keeper.nodes()[1].name, "after");
    for (const std::string& error : keeper.loadErrors()) {
        EXPECT_TRUE(StreamReader::isValidUtf8(error));
        EXPECT_NE(error.find("\xef\xbf\xbd"), std::string::npos);
    }
    EXPECT_EQ(keeper.loadErrors()[1], "\xef\xbf\xbd");
}

TEST(HostileLogs, CrlfLineEnds) {
    TempDir dir;
    LogFile log(dir, "crlf.json");
    const std::size_t n = scaled(100'000);
    for (std::size_t i = 0; i < n; ++i) {
        log << execLine(static_cast<std::int64_t>(i) + 2, 1, "/bin/sh") << "\r\n";
        log << R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"t","file":{"pid":2,"destination":"/tmp/f"}})"
            << "\r\n";
        log << "not json\r\n";
        log << "\r\n";
    }
    EventKeeper keeper;
    const LineAccount account = loadAndAccount(keeper, log.close(), 64 * kMiB, 2.0, 512);
    EXPECT_EQ(account.procPreviews, n);
    EXPECT_EQ(account.filePreviews, n);
    EXPECT_EQ(account.refused, 2 * n);
    // Texts are stored as read, carriage return included.
    EXPECT_TRUE(keeper.jsonMapping().entry(0).text.ends_with("}\r"));
    EXPECT_EQ(keeper.loadErrors()[0], "not json\r");
    EXPECT_EQ(keeper.loadErrors()[1], "\r");
    EXPECT_EQ(keeper.procPreviews()[0].path, "/bin/sh");
}

TEST(HostileLogs, EveryLineBroken) {
    TempDir dir;
    LogFile log(dir, "broken.json");
    const std::string good = execLine(40, 1, "/bin/broken");
    const std::string kinds[] = {
        good.substr(0, good.size() - 1),                           // cut short
        good + "}",                                                // one brace too many
        good + good,                                               // two objects
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":1})",  // number timestamp
        R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":"1","ppid":1}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"t","file":{"pid":1}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":1.5,"ppid":1}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":99999999999999999999,"ppid":1}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":[]})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":1,"ppid":1,"path":7}})",
        R"({"timestamp":"t"})",
        R"({"event":null,"timestamp":"t"})",
        "[]",
        "null",
        "\"string\"",
        "{",
        "}",
        "{\"event\":\"\\x\",\"timestamp\":\"t\"}",      // bad escape
        "{\"event\":\"\\ud800\",\"timestamp\":\"t\"}",  // lone surrogate escape
        "{'event':'x','timestamp':'t'}",
        "\t \x0b",
        "\x1b[31m",
        "<script>alert(1)</script>",
    };
    const std::size_t n = scaled(20'000);
    for (std::size_t i = 0; i < n; ++i) {
        for (const std::string& kind : kinds) {
            log << kind << "\n";
        }
    }
    EventKeeper keeper;
    const LineAccount account = loadAndAccount(keeper, log.close(), 64 * kMiB, 4.0, 128);
    EXPECT_EQ(account.refused, account.lines);
    EXPECT_TRUE(keeper.jsonMapping().empty());
    EXPECT_EQ(keeper.jsonTreeRaw(), kTreeOfNothing);
}

TEST(HostileLogs, TwoMillionIdenticalLines) {
    const std::size_t n = scaled(2'000'000);
    TempDir dir;
    LogFile log(dir, "same.json");
    const std::string line =
        R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":12,"ppid":1,"path":"/bin/sh"}})"
        "\n";
    for (std::size_t i = 0; i < n; ++i) {
        log << line;
    }
    EventKeeper keeper;
    const LineAccount account = loadAndAccount(keeper, log.close(), 64 * kMiB, 2.0, 512);
    EXPECT_EQ(account.procPreviews, n);
    // Every line has an id of its own (the map would have merged equal ids).
    EXPECT_EQ(keeper.jsonMapping().size(), n);
    // All of them siblings under launchd.
    EXPECT_EQ(arrayDepth(keeper.jsonTreeRaw()), 2u);
}

// The accounting also holds for the shipped samples and for a log that mixes
// every kind of line, loaded twice into one store.
TEST(HostileLogs, SamplesAndMixedLogsAreAccountedFor) {
    for (const auto& entry : std::filesystem::directory_iterator(KORVANTIS_SAMPLES_DIR)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".json" && ext != ".txt") {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        EventKeeper keeper;
        keeper.loadJsonFile(entry.path().string());
        const std::string bytes = readAll(entry.path().string());
        EXPECT_EQ(checkAccounting(bytes, keeper), "");
        const testsupport::StoreSizes before = testsupport::storeSizes(keeper);
        keeper.loadJsonFile(entry.path().string());
        EXPECT_EQ(checkAccounting(bytes, keeper, before), "");
    }

    const std::string kinds[] = {
        execLine(60, 1, "/bin/a"),
        R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":61,"ppid":60}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t"})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"t","file":{"pid":60,"destination":"/f"}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_WRITE","timestamp":"t","fileOld":{"destination":"/f"}})",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXIT","timestamp":"t"})",
        R"({"event":"es_event_type_notify_open","timestamp":"t","file":{"pid":1,"destination":"/"}})",
        "",
        "{\"event\":\"x\",\"timestamp\":\"\xff\"}",
        R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":7})",
    };
    std::string log;
    std::uint32_t state = 12345;
    for (int i = 0; i < 5000; ++i) {
        state = state * 1103515245u + 12345u;
        log += kinds[(state >> 16) % std::size(kinds)];
        log += "\n";
    }
    log += execLine(62, 61, "/bin/last");  // no final line feed
    TempDir dir;
    const std::string path = dir.write("mixed.json", log);
    EventKeeper keeper;
    keeper.loadJsonFile(path);
    LineAccount account;
    EXPECT_EQ(checkAccounting(log, keeper, {}, &account), "");
    EXPECT_EQ(account.lines, 5001u);
    EXPECT_GT(account.procPreviews, 0u);
    EXPECT_GT(account.filePreviews, 0u);
    EXPECT_GT(account.fileWithoutFile, 0u);
    EXPECT_GT(account.mappingOnly, account.fileWithoutFile);
    EXPECT_GT(account.refused, 0u);
    const testsupport::StoreSizes before = testsupport::storeSizes(keeper);
    keeper.loadJsonFile(path);
    EXPECT_EQ(checkAccounting(log, keeper, before), "");
}

TEST(HostileLogs, DirectoryPath) {
    TempDir dir;
    EXPECT_EQ(StreamReader::open(dir.path().string()), nullptr);
    EventKeeper keeper;
    keeper.loadJsonFile(dir.path().string());
    EXPECT_EQ(checkAccounting("", keeper), "");
    EXPECT_TRUE(keeper.loadErrors().empty());
    EXPECT_EQ(keeper.jsonTreeRaw(), kTreeOfNothing);
}

TEST(HostileLogs, FifoPathDoesNotWaitForAWriter) {
    TempDir dir;
    const std::string fifo = (dir.path() / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EventKeeper keeper;
    const bool returned = finishes([&] { keeper.loadJsonFile(fifo); });
    if (!returned) {
        // Let a reader stuck in open() go, so that the process can end.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    ASSERT_TRUE(returned) << "loading a FIFO waits for a writer";
    EXPECT_TRUE(keeper.procPreviews().empty());
    EXPECT_TRUE(keeper.loadErrors().empty());
    EXPECT_EQ(keeper.jsonTreeRaw(), kTreeOfNothing);
}

TEST(HostileLogs, DevicePathsAreRefused) {
    for (const char* device : {"/dev/zero", "/dev/urandom", "/dev/null"}) {
        SCOPED_TRACE(device);
        if (::access(device, R_OK) != 0) {
            continue;
        }
        EventKeeper keeper;
        ASSERT_TRUE(finishes([&] { keeper.loadJsonFile(device); }))
            << "loading a device does not end";
        EXPECT_TRUE(keeper.jsonMapping().empty());
        EXPECT_TRUE(keeper.loadErrors().empty());
        EXPECT_EQ(keeper.jsonTreeRaw(), kTreeOfNothing);
    }
    // Nor does a link make a device a file; a link to a file is read.
    TempDir dir;
    const std::filesystem::path toDevice = dir.path() / "zero.json";
    std::filesystem::create_symlink("/dev/zero", toDevice);
    EXPECT_EQ(StreamReader::open(toDevice.string()), nullptr);
    const std::string file = dir.write("real.json", execLine(50, 1, "/bin/linked") + "\n");
    const std::filesystem::path toFile = dir.path() / "link.json";
    std::filesystem::create_symlink(file, toFile);
    EventKeeper keeper;
    keeper.loadJsonFile(toFile.string());
    EXPECT_EQ(keeper.procPreviews().size(), 1u);
}

}  // namespace
}  // namespace korvantis
