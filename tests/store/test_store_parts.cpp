#include <gtest/gtest.h>

#include <set>
#include <string>

#include "store/json_mapping.h"
#include "store/node.h"
#include "store/text_arena.h"
#include "store/uuid.h"

namespace korvantis {
namespace {

TEST(Uuid, VersionFourUniqueAndWritten) {
    UuidGenerator generator, other;
    EXPECT_NE(generator.next(), other.next());
    std::set<Uuid> seen;
    for (int i = 0; i < 10000; ++i) {
        const Uuid id = i % 2 ? generator.next() : Uuid::random();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] & 0xc0, 0x80);
        EXPECT_TRUE(seen.insert(id).second);
    }
    Uuid id;
    for (std::size_t i = 0; i < id.bytes.size(); ++i) {
        id.bytes[i] = static_cast<std::uint8_t>(i * 0x11);
    }
    EXPECT_EQ(id.toString(), "00112233-4455-6677-8899-aabbccddeeff");
}

TEST(TextArena, TextsStayPut) {
    TextArena arena;
    std::vector<std::string_view> kept;
    std::vector<std::string> want;
    for (int i = 0; i < 30000; ++i) {
        want.emplace_back(static_cast<std::size_t>(i % 700), static_cast<char>('a' + i % 26));
        kept.push_back(arena.store(want.back(), 64));
    }
    // One text bigger than a block gets a block of its own.
    want.emplace_back(TextArena::kBlockSize + 10, 'B');
    kept.push_back(arena.store(want.back(), 64));
    for (std::size_t i = 0; i < kept.size(); ++i) {
        ASSERT_EQ(kept[i], want[i]) << i;
    }
}

// Ids are made from places: every place gives a distinct version-4 id that
// leads back to it; ids of another store, or random ones, lead nowhere.
TEST(JsonMapping, IdsLeadBackToTheirPlace) {
    JsonMapping mapping, other;
    EXPECT_FALSE(mapping.find(Uuid::random()));
    std::set<Uuid> seen;
    for (std::uint32_t i = 0; i < 20000; ++i) {
        const LineRef ref{i * 100ull, i, i % 3, i * 7919ull};
        const Uuid id = mapping.append(ref);
        other.append(ref);
        ASSERT_EQ(id.bytes[6] >> 4, 4);       // version 4
        ASSERT_EQ(id.bytes[8] & 0xc0, 0x80);  // variant 10
        ASSERT_TRUE(seen.insert(id).second) << i;
        ASSERT_EQ(mapping.entry(i).id, id);
    }
    for (std::uint32_t i = 0; i < 20000; i += 7) {
        const Uuid id = mapping.idOf(i);
        ASSERT_EQ(mapping.indexOf(id), i);
        ASSERT_EQ(mapping.find(id)->offset, i * 100ull);
        ASSERT_FALSE(other.contains(id)) << i;
        ASSERT_FALSE(mapping.contains(Uuid::random()));
    }
    // Places not filled yet are not found either.
    EXPECT_FALSE(mapping.contains(mapping.idOf(20000)));
}

TEST(Node, NameIsTheLastPathComponent) {
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/bin/ls", "ls"},
        {"/tmp/", "tmp"},
        {"/tmp///", "tmp"},
        {"launchd", "launchd"},
        {"/", "/"},
        {"//", "/"},
        {"", ""},
        {"a/b", "b"},
        {"/Users/\xC3\xA9milie/App Support/helper", "helper"},
    };
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(lastPathComponent(path), name) << path;
    }
    EXPECT_EQ(Node(Uuid::random(), "/tmp/", 12, 1).name, "tmp");
}

}  // namespace
}  // namespace korvantis
