#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <ranges>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>

#include "decode/same_text.h"
#include "input/temp_files.h"
#include "store/chunked_vector.h"
#include "store/interned_texts.h"
#include "store/line_ref_table.h"
#include "store/linear_probing_table.h"
#include "store/load_errors.h"
#include "store/log_files.h"

namespace korvantis {
namespace {

// Chunks double in size; every element, read directly, by iterator or
// through a snapshot taken at any length, is the one appended there and
// stays where it was put.
TEST(ChunkedVector, ElementsStayPutAcrossChunks) {
    ChunkedVector<std::uint64_t, 4> list;
    std::vector<const std::uint64_t*> where;
    std::vector<ChunkedVector<std::uint64_t, 4>::Snapshot> snapshots;
    for (std::uint64_t i = 0; i < 100000; ++i) {
        where.push_back(&list.emplace_back(i * 3));
        if (i % 997 == 0 || i == 3 || i == 4 || i == 11 || i == 12) {
            snapshots.push_back(list.snapshot(list.size()));
        }
    }
    for (std::uint64_t i = 0; i < list.size(); ++i) {
        ASSERT_EQ(list[i], i * 3) << i;
        ASSERT_EQ(&list[i], where[i]) << i;
    }
    EXPECT_EQ(std::distance(list.begin(), list.end()), 100000);
    EXPECT_EQ(*(list.begin() + 77777), 77777u * 3);
    for (const auto& snapshot : snapshots) {
        for (std::size_t i = 0; i < snapshot.size(); ++i) {
            ASSERT_EQ(&snapshot[i], where[i]) << i << " of " << snapshot.size();
        }
    }
}

// Against std::unordered_map, through many growths: keys spread wide, keys
// that repeat often, keys differing in their top bits only, and the extremes
// (the lowest is the table's free marker).
TEST(LinearProbingTable, AgreesWithUnorderedMap) {
    using Draw = std::int64_t (*)(std::mt19937_64&);
    const Draw draws[] = {
        [](std::mt19937_64& rng) { return static_cast<std::int64_t>(rng()); },
        [](std::mt19937_64& rng) { return static_cast<std::int64_t>(rng() % 301) - 150; },
        [](std::mt19937_64& rng) { return static_cast<std::int64_t>(rng() % 5000 << 50); },
        [](std::mt19937_64& rng) {
            return rng() % 2 ? INT64_MIN : static_cast<std::int64_t>(INT64_MAX - rng() % 40);
        },
    };
    for (const Draw draw : draws) {
        std::mt19937_64 rng(7);
        LinearProbingTable<std::int64_t, std::uint32_t> map;
        LinearProbingTable<std::int64_t> set(100);
        std::unordered_map<std::int64_t, std::uint32_t> reference;
        for (std::uint32_t i = 0; i < 20000; ++i) {
            const std::int64_t key = draw(rng);
            const auto [value, added] = map.insert(key, i);
            const auto expected = reference.emplace(key, i);
            ASSERT_EQ(added, expected.second) << key;
            ASSERT_EQ(value, expected.first->second) << key;
            ASSERT_EQ(set.insert(key), added) << key;
            const std::int64_t probe = draw(rng) ^ (i % 2);
            const std::uint32_t* found = map.find(probe);
            ASSERT_EQ(found != nullptr, reference.count(probe) == 1) << probe;
            ASSERT_EQ(set.contains(probe), found != nullptr) << probe;
        }
        EXPECT_EQ(map.size(), reference.size());
        EXPECT_EQ(set.size(), reference.size());
        for (const auto& [key, value] : reference) {
            ASSERT_TRUE(map.find(key) && *map.find(key) == value) << key;
        }
    }
}

// Equal texts get one stored copy and different texts different ones,
// whether interned one at a time or a batch at once, from several threads;
// the copies are numbered 0, 1, 2... in the order they were made, and tell
// their number and length themselves.
TEST(InternedTexts, EachDistinctTextIsKeptOnce) {
    InternedTexts interned;
    constexpr int kThreads = 3;
    // Each thread's texts, and the stored copy each got.
    std::vector<std::vector<std::pair<std::string, std::string_view>>> got(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(t);
            for (int batch = 0; batch < 60; ++batch) {
                std::vector<std::string> texts(rng() % 1500);
                for (std::string& text : texts) {
                    // Few letters, so that texts repeat often; some empty,
                    // some long.
                    text.assign(rng() % 7 == 0 ? rng() % 3000 : rng() % 6, 'a');
                    for (char& c : text) {
                        c = static_cast<char>('a' + rng() % 3);
                    }
                }
                const std::vector<std::string_view> views(texts.begin(), texts.end());
                std::vector<std::string_view> stored(views.size());
                std::vector<std::uint32_t> ordinals(views.size());
                if (batch % 2 == 0) {
                    interned.internAll(views, stored, ordinals);
                    for (std::size_t i = 0; i < views.size(); ++i) {
                        ASSERT_EQ(ordinals[i], views[i].empty()
                                                   ? InternedTexts::kNoOrdinal
                                                   : InternedTexts::ordinalOf(stored[i].data()));
                    }
                } else {
                    std::ranges::transform(views, stored.begin(),
                                           [&](std::string_view v) { return interned.intern(v); });
                }
                for (std::size_t i = 0; i < texts.size(); ++i) {
                    got[t].emplace_back(std::move(texts[i]), stored[i]);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::map<std::string, const char*> copies;
    std::set<const char*> used;
    std::set<std::uint32_t> ordinals;
    for (const auto& [text, stored] : std::views::join(got)) {
        ASSERT_EQ(stored, text);
        if (text.empty()) {
            continue;
        }
        const auto [at, added] = copies.emplace(text, stored.data());
        ASSERT_EQ(at->second, stored.data()) << "a second copy of " << text;
        if (added) {
            ASSERT_TRUE(used.insert(stored.data()).second) << "shared by two texts";
            ASSERT_TRUE(ordinals.insert(InternedTexts::ordinalOf(stored.data())).second);
        }
        ASSERT_EQ(InternedTexts::storedAt(stored.data()), text);
    }
    EXPECT_EQ(*ordinals.rbegin() + 1, ordinals.size());
}

// The packed load errors against a plain list of the same errors: runs of
// lines one after the other, lines further on, other logs, messages between
// lines and about whole files, lengths around the packing's limits.
TEST(LoadErrors, PackedErrorsReadBackAsAdded) {
    struct Plain {
        LoadErrors::Entry entry;
        std::string message;
        std::string name;
    };
    std::vector<Plain> plain;
    LoadErrors errors;
    std::mt19937_64 random(7);
    std::uint32_t log = 0;
    std::uint64_t line = 0;
    std::uint64_t offset = 0;
    const std::uint32_t lengths[] = {0, 1, 30, 31, 32, 200, 70000, 1u << 31};
    for (int i = 0; i < 5000; ++i) {
        const auto pick = random() % 16;
        if (pick == 0) {  // another log
            ++log;
            line = 0;
            offset = random() % 2 ? 0 : 3;
        }
        line += pick == 1 ? 1 + random() % 100000 : 1;
        if (pick == 2) {
            offset += random() % (std::uint64_t{1} << 40);
        }
        Plain p;
        p.entry.origin = {log, line};
        if (pick == 3 || pick == 4) {
            p.message = std::string(random() % 300, static_cast<char>('a' + random() % 26));
            p.entry.standsForLine = pick == 4;
            errors.addMessage(p.entry.origin, p.message, p.entry.standsForLine);
        } else if (pick == 5) {
            p.entry.origin = {LoadErrors::kNamedLog, 0};
            p.name = "file" + std::to_string(i);
            p.message = "Could not open " + p.name;
            errors.addNamedMessage(p.name, p.message);
        } else {
            p.entry.isLine = true;
            const std::uint32_t length = lengths[random() % std::size(lengths)];
            p.entry.ref = LineRef{offset, length, log, length == 0 ? lineChecksum({}) : random()};
            offset += length + 1;
            errors.addLine(p.entry.origin, p.entry.ref);
        }
        plain.push_back(p);
    }
    ASSERT_EQ(errors.size(), plain.size());
    const LogFiles noLogs;
    std::size_t visited = 0;
    errors.forEach([&](std::size_t i, const LoadErrors::Entry& e) {
        ASSERT_EQ(i, visited++);
        const Plain& p = plain[i];
        const LoadErrors::Entry& at = errors.entry(i);
        for (const LoadErrors::Entry* got : {&e, &at}) {
            ASSERT_EQ(got->origin, p.entry.origin) << i;
            ASSERT_EQ(got->isLine, p.entry.isLine) << i;
            ASSERT_EQ(got->standsForLine, p.entry.standsForLine) << i;
            if (p.entry.isLine) {
                ASSERT_EQ(got->ref, p.entry.ref) << i;
            } else {
                ASSERT_EQ(errors.message(got->message), p.message) << i;
            }
        }
        if (!p.name.empty()) {
            ASSERT_EQ(errors.originName(i, noLogs), p.name);
        }
    });
    EXPECT_EQ(visited, plain.size());
    // A few bytes each, not a string each.
    std::size_t messageBytes = 0;
    for (const Plain& p : plain) {
        messageBytes += p.message.size();
    }
    EXPECT_LT(errors.bytesUsed(), (1u << 20) + messageBytes + 24 * plain.size());
}

// Past the listed bound, lines are only counted, as runs: the count, the
// listed errors and the places of every line (which line numbers need) stay
// those of a plain list, messages are still listed, and the memory stops
// growing.
TEST(LoadErrors, LinesPastTheBoundAreCountedAsRuns) {
    LoadErrors errors;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> lines;  // every line error, in order
    std::size_t messages = 0;
    std::mt19937_64 random(11);
    std::uint64_t line = 0;
    std::uint64_t offset = 0;
    std::uint32_t log = 0;
    while (errors.folded() < 300'000) {
        const auto pick = random() % 64;
        if (pick == 0) {
            ++log;
            line = 0;
        }
        // Mostly runs of lines one after the other, now and then a row between.
        const std::uint64_t skip = pick == 1 ? 1 + random() % 5 : 0;
        line += 1 + skip;
        offset += skip * 50;
        if (pick == 2) {
            errors.addMessage({log, line}, "message", random() % 2 == 0);
            ++messages;
            continue;
        }
        errors.addLine({log, line}, LineRef{offset, 20, log, random()});
        offset += 21;
        lines.emplace_back(log, line);
    }
    EXPECT_EQ(errors.size(), lines.size() + messages);
    EXPECT_EQ(errors.listed() + errors.folded(), errors.size());
    std::size_t listedMessages = 0;
    errors.forEach([&](std::size_t, const LoadErrors::Entry& e) { listedMessages += !e.isLine; });
    EXPECT_EQ(listedMessages, messages);
    std::vector<std::pair<std::uint32_t, std::uint64_t>> runLines;
    errors.forEachLineRun([&](std::uint32_t runLog, std::uint64_t first, std::uint64_t count) {
        for (std::uint64_t l = first; l < first + count; ++l) {
            runLines.emplace_back(runLog, l);
        }
    });
    // Messages that stand for their line are among the lines too.
    std::vector<std::pair<std::uint32_t, std::uint64_t>> want = lines;
    errors.forEach([&](std::size_t, const LoadErrors::Entry& e) {
        if (e.standsForLine) {
            want.emplace_back(e.origin.log, e.origin.line);
        }
    });
    std::sort(want.begin(), want.end());
    std::sort(runLines.begin(), runLines.end());
    EXPECT_EQ(runLines, want);
    EXPECT_LT(errors.bytesUsed(), LoadErrors::kListedBytes + (std::size_t{4} << 20));
    // A batch of errors that could not be kept whole goes back to the mark,
    // the last run's count as well; the list goes on from there unharmed.
    auto state = [&] {
        std::ostringstream out;
        out << errors.size() << ' ' << errors.listed() << ' ' << errors.folded() << '|';
        errors.forEachLineRun([&](std::uint32_t runLog, std::uint64_t first, std::uint64_t count) {
            out << runLog << ':' << first << '+' << count << ' ';
        });
        const LoadErrors::Entry last = errors.entry(errors.listed() - 1);
        out << '|' << last.origin.line << ' ' << errors.message(last.message);
        return out.str();
    };
    const std::string before = state();
    const LoadErrors::Mark mark = errors.mark();
    errors.addLine({log, line + 1}, LineRef{offset, 20, log, 1});  // grows the last run
    errors.addMessage({log, line + 2}, "dropped");
    errors.addLine({log, line + 9}, LineRef{offset + 500, 20, log, 2});
    errors.rollBack(mark);
    EXPECT_EQ(state(), before);
    errors.addMessage({log, line + 3}, "kept");
    EXPECT_EQ(errors.message(errors.entry(errors.listed() - 1).message), "kept");
    EXPECT_EQ(LoadErrors::foldedText(1234567),
              "\u2026 and 1,234,567 more load errors, not listed: too many to keep");
}

// A line changed in any one byte, at any length (each way of reading a
// line's bytes), has another checksum: a log rewritten in place is noticed.
// Nor is it the same text any more (texts are compared by words as well).
TEST(LineChecksum, EveryByteCounts) {
    std::string line;
    for (std::size_t n = 0; n <= 120; ++n) {
        const std::uint64_t sum = lineChecksum(line);
        ASSERT_TRUE(sameText(line, std::string(line)));
        for (std::size_t i = 0; i < n; ++i) {
            std::string changed = line;
            changed[i] = static_cast<char>(changed[i] ^ 1);
            ASSERT_NE(lineChecksum(changed), sum) << n << " bytes, byte " << i;
            ASSERT_FALSE(sameText(changed, line)) << n << " bytes, byte " << i;
        }
        ASSERT_FALSE(sameText(line, line + 'a'));
        line += static_cast<char>('a' + n % 26);
    }
}

// A line is read back from its open log; a log changed since, or one that
// could not be kept open, says which instead, with the system's reason.
TEST(LoadErrors, LinesAreReadBackOrSayWhyNot) {
    testing::TempDir dir;
    const std::string path = dir.write("log.json", "first\n\xff bad\n\nlast");
    LogFiles logs;
    ASSERT_EQ(logs.add(::open(path.c_str(), O_RDONLY | O_CLOEXEC), path), 0u);
    ASSERT_EQ(logs.add(-1, "/gone/kept.json", EMFILE), 1u);
    LoadErrors errors;
    auto addLine = [&](std::uint32_t log, std::uint64_t number, std::uint64_t offset,
                       std::string_view text) {
        errors.addLine({log, number}, LineRef{offset, static_cast<std::uint32_t>(text.size()), log,
                                              lineChecksum(text)});
    };
    addLine(0, 1, 0, "first");
    addLine(0, 2, 6, "\xff bad");
    addLine(0, 3, 12, "");
    errors.addMessage({0, 4}, "a message");
    addLine(0, 5, 13, "lost");  // not what the log holds there
    addLine(1, 1, 0, "any");
    errors.addNamedMessage("missing.json",
                           "Could not open missing.json: No such file or directory");
    const std::vector<std::string> want = {
        "first",
        "\xef\xbf\xbd bad",
        "",
        "a message",
        std::string(kLogChangedText),
        "The log file could not be kept open after it was loaded (Too many open files); this "
        "event's text is not available.",
        "Could not open missing.json: No such file or directory"};
    std::vector<std::string> inOrder;
    errors.forEachText(logs, [&](std::size_t i, std::string_view text) {
        EXPECT_EQ(errors.text(i, logs), text) << i;
        inOrder.emplace_back(text);
    });
    EXPECT_EQ(inOrder, want);
    EXPECT_EQ(errors.originName(0, logs), "log.json");
    EXPECT_EQ(errors.originName(5, logs), "kept.json");
    EXPECT_EQ(errors.originName(6, logs), "missing.json");
}

}  // namespace
}  // namespace korvantis
