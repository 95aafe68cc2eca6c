// Loads whose allocations are made to fail, one or many, on the store's
// thread or on the load's own threads, swept over where the first failure
// falls. Each must either load the whole log, or stop at a line N with
// "Loading stopped at line N: out of memory; …" and leave the store exactly
// as a fresh load of the lines before N leaves it: no row, error, gap, run,
// node or line of a batch filed in part. This executable replaces operator
// new to make allocations fail, so it stands apart from the other tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "input/temp_files.h"
#include "load/load_job.h"
#include "support/loading.h"
#include "support/store_content.h"

namespace {

enum class Failing { none, storeThread, otherThreads };

std::atomic<Failing> gFailing{Failing::none};
std::atomic<long> gLetThrough{0};  // counted allocations before the failures
std::atomic<long> gBurst{0};       // failing allocations from there on
std::atomic<long> gCounted{0};
thread_local bool tStoreThread = false;

bool failsNow() {
    const Failing failing = gFailing.load(std::memory_order_relaxed);
    if (failing == Failing::none || (failing == Failing::storeThread) != tStoreThread) {
        return false;
    }
    gCounted.fetch_add(1, std::memory_order_relaxed);
    const long left = gLetThrough.fetch_sub(1, std::memory_order_relaxed);
    return left <= 0 && left > -gBurst.load(std::memory_order_relaxed);
}

}  // namespace

void* operator new(std::size_t size) {
    if (failsNow()) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
// As the standard library's own: through the one above, so that it fails
// alike; replaced, so that AddressSanitizer's does not allocate what the
// replaced delete frees.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
// (GCC takes the free() of a replaced operator delete, inlined into a caller
// of new, for a mismatch.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace korvantis {
namespace {

using testing::TempDir;
using testsupport::LoadingWorkspace;
using testsupport::storeContent;

// The eslogger sample fifty times over, each copy's pids made its own, with
// a broken line and a record of the viewer's own after every copy: three
// batches of lines and more, rows of every kind, runs that end, gaps in the
// message numbers, load errors.
std::vector<std::string> logLines() {
    std::ifstream in(KORVANTIS_SAMPLES_DIR "/eslogger.json");
    std::vector<std::string> sample;
    for (std::string line; std::getline(in, line);) {
        sample.push_back(line);
    }
    std::vector<std::string> lines;
    for (int copy = 1; copy <= 50; ++copy) {
        for (std::string line : sample) {
            for (std::size_t at = line.find("pid\":"); at != std::string::npos;
                 at = line.find("pid\":", at + 1)) {
                if (line[at + 5] != '-') {
                    line.insert(at + 5, std::to_string(copy));
                }
            }
            lines.push_back(line);
        }
        lines.push_back("{\"broken\":");
        lines.push_back(R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"1765000000.0001",)"
                        R"("process":{"pid":)" +
                        std::to_string(900000 + copy) + R"(,"ppid":1,"path":"/bin/sh"}})");
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += lines[i];
        text += '\n';
    }
    return text;
}

// Where two store contents first differ, for a message of a few lines.
std::string firstDifference(const std::string& got, const std::string& want) {
    const auto [g, w] = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    if (g == got.end() && w == want.end()) {
        return {};
    }
    const std::size_t at = static_cast<std::size_t>(g - got.begin());
    const std::size_t from = got.rfind('\n', at == 0 ? 0 : at - 1);
    const std::size_t start = from == std::string::npos ? 0 : from + 1;
    return "got \"" + got.substr(start, 200) + "\"\nwant \"" + want.substr(start, 200) + "\"";
}

class FailingAllocations : public ::testing::Test {
  protected:
    void SetUp() override {
        tStoreThread = true;
        lines_ = logLines();
        path_ = dir_.write("es.json", joined(lines_, lines_.size()));
    }

    // What a fresh load of the log's first `count` lines leaves, kept.
    const std::string& reference(std::size_t count, bool withTree) {
        auto& known = withTree ? withTree_ : withoutTree_;
        if (auto it = known.find(count); it != known.end()) {
            return it->second;
        }
        const std::string path = dir_.write("first.json", joined(lines_, count));
        LoadingWorkspace fresh;
        fresh.load(path);
        std::string content = storeContent(fresh.ws, withTree);
        return known[count] = std::move(content);
    }

    // Loads the log with allocations failing from the one after
    // `letThrough` on `failing` threads, `burst` of them; the counted
    // allocations of the load.
    long loadFailing(Failing failing, long letThrough, long burst) {
        SCOPED_TRACE(::testing::Message()
                     << "after " << letThrough << " allocations, " << burst << " failing, on "
                     << (failing == Failing::storeThread ? "the store's" : "other") << " threads");
        LoadingWorkspace loading;
        loading.ws.loader.loadJsonFile(path_);
        gCounted = 0;
        gLetThrough = letThrough;
        gBurst = burst;
        gFailing = failing;
        try {
            loading.tasks.runUntil([&] { return !loading.ws.loader.outcomes().empty(); });
        } catch (const std::bad_alloc&) {
            gFailing = Failing::none;
            ADD_FAILURE() << "out of memory left a task of the store's thread";
            return 0;
        }
        gFailing = Failing::none;
        check(loading);
        return gCounted;
    }

    void check(const LoadingWorkspace& loading) {
        ASSERT_EQ(loading.ws.loader.outcomes().size(), 1u);
        const LoadOutcome& outcome = loading.ws.loader.outcomes().back();
        EXPECT_FALSE(outcome.cancelled);
        if (!outcome.opened) {
            // No thread to read on.
            EXPECT_EQ(outcome.openFailure, "Could not open es.json: out of memory");
            EXPECT_EQ(loading.ws.store.lineRefs().size(), 0u);
            return;
        }
        const bool withTree = !loading.ws.store.jsonTreeRaw().empty();
        std::string content = storeContent(loading.ws, withTree);
        if (outcome.stopped.empty()) {
            EXPECT_EQ(firstDifference(content, reference(lines_.size(), withTree)), "");
            return;
        }
        std::size_t n = 0;
        std::sscanf(outcome.stopped.c_str(), "Loading stopped at line %zu", &n);
        ASSERT_EQ(outcome.stopped, LoadJob::outOfMemoryText(n));
        ASSERT_GE(n, 1u);
        ASSERT_LE(n, lines_.size() + 1);
        ++stops_[n == 1 ? 0 : n <= lines_.size() ? 1 : 2];
        // The stop is the store's last load error (about the whole log when
        // the log itself could not be kept; none when there was no memory
        // left to keep it).
        for (const std::size_t origin : {n, std::size_t{0}}) {
            const std::string error = std::to_string(origin) + ": " + outcome.stopped + "\n";
            if (const std::size_t told = content.rfind(error); told != std::string::npos) {
                content.erase(told, error.size());
                break;
            }
        }
        EXPECT_EQ(firstDifference(content, reference(n - 1, withTree)), "") << outcome.stopped;
    }

    TempDir dir_;
    std::vector<std::string> lines_;
    std::string path_;
    std::map<std::size_t, std::string> withTree_;
    std::map<std::size_t, std::string> withoutTree_;
    // Stops at the first line, further on, after the last line.
    std::array<int, 3> stops_{};
};

// Every allocation of the store's thread in turn; a sample of those of the
// load's threads, one failing or a run of them (the retries fail too).
TEST_F(FailingAllocations, StopAtABatchBoundaryAndKeepTheStoreWhole) {
    const long storeAllocations = loadFailing(Failing::storeThread, 1L << 40, 0);
    const long otherAllocations = loadFailing(Failing::otherThreads, 1L << 40, 0);
    ASSERT_GT(storeAllocations, 0);
    ASSERT_GT(otherAllocations, 0);
    for (long k = 0; k <= storeAllocations; ++k) {
        loadFailing(Failing::storeThread, k, 1);
    }
    constexpr long kSamples = 60;
    for (const long burst : {1L, 32L}) {
        for (long s = 0; s <= kSamples; ++s) {
            loadFailing(Failing::otherThreads, otherAllocations * s / kSamples, burst);
        }
    }
    // Failures stopped loads at their first line and further on.
    EXPECT_GT(stops_[0], 0);
    EXPECT_GT(stops_[1], 0);
}

}  // namespace
}  // namespace korvantis
