#include <gtest/gtest.h>

#include <set>
#include <string>

#include "store/json_mapping.h"
#include "store/node.h"
#include "store/text_arena.h"
#include "store/uuid.h"

namespace korvantis {
namespace {

TEST(Uuid, VersionFourUniqueAndRoundTrip) {
    UuidGenerator generator, other;
    EXPECT_NE(generator.next(), other.next());
    std::set<Uuid> seen;
    for (int i = 0; i < 10000; ++i) {
        const Uuid id = i % 2 ? generator.next() : Uuid::random();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] & 0xc0, 0x80);
        EXPECT_TRUE(seen.insert(id).second);
        EXPECT_EQ(Uuid::fromString(id.toString()), id);
    }
    EXPECT_FALSE(Uuid::fromString("not a uuid"));
    EXPECT_FALSE(Uuid::fromString("0123456789abcdef0123456789abcdef0123"));
    EXPECT_EQ(Uuid::fromString("00112233-4455-6677-8899-AABBCCDDEEFF")->toString(),
              "00112233-4455-6677-8899-aabbccddeeff");
}

TEST(TextArena, TextsStayPutAndUnstoreLastGivesTheRoomBack) {
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
    const std::string_view a = arena.store("first", 8);
    const std::string_view b = arena.store("refused", 8);
    arena.unstoreLast(b);
    const std::string_view c = arena.store("second", 8);
    EXPECT_EQ(c.data(), b.data());
    EXPECT_EQ(a, "first");
    EXPECT_EQ(c, "second");
}

// Ids that share their hash bits collide in the table; random ones spread.
// Every id finds its own reference, in insertion order.
TEST(JsonMapping, InsertFreshFindAndOrder) {
    EXPECT_FALSE(JsonMapping().find(Uuid::random()));
    JsonMapping mapping;
    UuidGenerator generator;
    std::vector<Uuid> ids(50);
    for (std::size_t i = 0; i < 5050; ++i) {
        if (i < 50) {
            ids[i].bytes[15] = static_cast<std::uint8_t>(i);
        } else {
            ids.push_back(generator.next());
        }
    }
    auto refOf = [](std::size_t i) {
        return LineRef{i * 100, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i % 3),
                       i * 7919};
    };
    for (std::size_t i = 0; i < ids.size(); ++i) {
        mapping.insertFresh(ids[i], refOf(i));
    }
    ASSERT_EQ(mapping.size(), ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ASSERT_EQ(mapping.find(ids[i]), refOf(i)) << i;
        ASSERT_EQ(mapping.indexOf(ids[i]), i);
        EXPECT_EQ(mapping.entry(i).id, ids[i]);
    }
    EXPECT_FALSE(mapping.contains(generator.next()));
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
