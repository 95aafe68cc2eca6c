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

// Ids that share their first eight bytes land on one slot; generated ids
// spread. Texts of every size must come back whole.
TEST(JsonMapping, InsertFindAndOrder) {
    EXPECT_FALSE(JsonMapping().find(Uuid::random()));
    JsonMapping mapping;
    UuidGenerator generator;
    std::vector<Uuid> ids(50);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < 5050; ++i) {
        if (i < 50) {
            ids[i].bytes[15] = static_cast<std::uint8_t>(i);
        } else {
            ids.push_back(generator.next());
        }
        const std::size_t sizes[] = {100000, 0xffff, 0xfffe, 0};
        texts.push_back(i < 4 ? std::string(sizes[i], 'L') : "line " + std::to_string(i));
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        mapping.insertFresh(ids[i], texts[i]);
    }
    ASSERT_EQ(mapping.size(), ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ASSERT_EQ(mapping.find(ids[i]), texts[i]) << i;
        EXPECT_EQ(mapping.entry(i).id, ids[i]);
        EXPECT_EQ(mapping.entry(i).text, texts[i]);
    }
    EXPECT_FALSE(mapping.contains(generator.next()));
    EXPECT_EQ(mapping.find(ids[0])->data(), texts[0].data());  // long texts are not copied
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
