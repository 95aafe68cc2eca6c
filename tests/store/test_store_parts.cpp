#include <gtest/gtest.h>

#include <set>
#include <string>

#include "store/json_mapping.h"
#include "store/node.h"
#include "store/text_arena.h"
#include "store/uuid.h"

namespace korvantis {
namespace {

TEST(Uuid, VersionFourAndRoundTrip) {
    UuidGenerator generator;
    std::set<Uuid> seen;
    for (int i = 0; i < 10000; ++i) {
        const Uuid id = i % 2 ? generator.next() : Uuid::random();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] & 0xc0, 0x80);
        EXPECT_TRUE(seen.insert(id).second);
        const std::string text = id.toString();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text[14], '4');
        EXPECT_EQ(Uuid::fromString(text), id);
    }
    EXPECT_FALSE(Uuid::fromString("not a uuid"));
    EXPECT_FALSE(Uuid::fromString("0123456789abcdef0123456789abcdef0123"));
    EXPECT_EQ(Uuid::fromString("00112233-4455-6677-8899-AABBCCDDEEFF")->toString(),
              "00112233-4455-6677-8899-aabbccddeeff");
}

TEST(Uuid, TwoGeneratorsDiffer) {
    UuidGenerator a, b;
    EXPECT_NE(a.next(), b.next());
}

TEST(TextArena, TextsStayPutAndPaddingIsReadable) {
    TextArena arena;
    std::vector<std::string_view> kept;
    std::vector<std::string> want;
    for (int i = 0; i < 30000; ++i) {
        std::string text(static_cast<std::size_t>(i % 700), static_cast<char>('a' + i % 26));
        kept.push_back(arena.store(text, 64));
        want.push_back(text);
    }
    // One text bigger than a block gets a block of its own.
    const std::string big(TextArena::kBlockSize + 10, 'B');
    kept.push_back(arena.store(big, 64));
    want.push_back(big);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        ASSERT_EQ(kept[i], want[i]) << i;
    }
    EXPECT_GE(arena.bytesReserved(), TextArena::kBlockSize * 2);
}

TEST(TextArena, UnstoreLastGivesTheRoomBack) {
    TextArena arena;
    const std::string_view a = arena.store("first", 8);
    const std::string_view b = arena.store("refused", 8);
    arena.unstoreLast(b);
    const std::string_view c = arena.store("second", 8);
    EXPECT_EQ(c.data(), b.data());
    EXPECT_EQ(a, "first");
    EXPECT_EQ(c, "second");
}

TEST(JsonMapping, SetFindAndOrder) {
    JsonMapping mapping;
    EXPECT_TRUE(mapping.empty());
    EXPECT_FALSE(mapping.find(Uuid::random()));
    UuidGenerator generator;
    std::vector<Uuid> ids;
    std::vector<std::string> texts;
    for (int i = 0; i < 5000; ++i) {
        texts.push_back("line " + std::to_string(i));
    }
    for (int i = 0; i < 5000; ++i) {
        ids.push_back(generator.next());
        mapping.set(ids.back(), texts[i]);
    }
    ASSERT_EQ(mapping.size(), 5000u);
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(mapping.find(ids[i]), texts[i]);
        EXPECT_EQ(mapping.entry(i).id, ids[i]);
        EXPECT_EQ(mapping.entry(i).text, texts[i]);
    }
    EXPECT_FALSE(mapping.contains(generator.next()));
    // Setting an id again replaces its text, without a second entry.
    mapping.set(ids[7], "replaced");
    EXPECT_EQ(mapping.size(), 5000u);
    EXPECT_EQ(mapping.find(ids[7]), "replaced");
}

TEST(JsonMapping, CollidingHashesAreKeptApart) {
    // Ids that share their first eight bytes land on the same slot.
    JsonMapping mapping;
    std::vector<Uuid> ids(50);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        texts.push_back(std::to_string(i));
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ids[i].bytes[15] = static_cast<std::uint8_t>(i);
        mapping.set(ids[i], texts[i]);
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(mapping.find(ids[i]), texts[i]);
    }
}

TEST(Node, NameIsTheLastPathComponent) {
    EXPECT_EQ(lastPathComponent("/usr/bin/ls"), "ls");
    EXPECT_EQ(lastPathComponent("/tmp/"), "tmp");
    EXPECT_EQ(lastPathComponent("/tmp///"), "tmp");
    EXPECT_EQ(lastPathComponent("launchd"), "launchd");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(lastPathComponent("//"), "/");
    EXPECT_EQ(lastPathComponent(""), "");
    EXPECT_EQ(lastPathComponent("a/b"), "b");
    EXPECT_EQ(lastPathComponent("/Users/\xC3\xA9milie/App Support/helper"), "helper");

    const Uuid id = Uuid::random();
    const Node node(id, "/tmp/", 12, 1);
    EXPECT_EQ(node.uid, id);
    EXPECT_EQ(node.path, "/tmp/");
    EXPECT_EQ(node.name, "tmp");
    EXPECT_EQ(node.pid, 12);
    EXPECT_EQ(node.ppid, 1);
    EXPECT_TRUE(node.children.empty());
    EXPECT_EQ(node.parent, nullptr);
    EXPECT_EQ(Node(Uuid::random(), "launchd", 1, 0).name, "launchd");
}

}  // namespace
}  // namespace korvantis

namespace korvantis {
namespace {

TEST(JsonMapping, LongAndEmptyTexts) {
    JsonMapping mapping;
    const std::string longText(100000, 'L');
    const std::string edge(0xffff, 'E');
    const std::string below(0xfffe, 'B');
    const Uuid a = Uuid::random(), b = Uuid::random(), c = Uuid::random(), d = Uuid::random();
    mapping.set(a, longText);
    mapping.set(b, "");
    mapping.set(c, edge);
    mapping.set(d, below);
    EXPECT_EQ(mapping.find(a)->data(), longText.data());
    EXPECT_EQ(mapping.find(a)->size(), longText.size());
    EXPECT_EQ(mapping.find(b), "");
    EXPECT_EQ(mapping.find(c)->size(), edge.size());
    EXPECT_EQ(mapping.find(d)->size(), below.size());
    EXPECT_EQ(mapping.entry(0).text.size(), longText.size());
    // Replacing a long text with a short one and back.
    mapping.set(a, "short");
    EXPECT_EQ(mapping.find(a), "short");
    mapping.set(a, longText);
    EXPECT_EQ(mapping.entry(0).text.size(), longText.size());
}

}  // namespace
}  // namespace korvantis

namespace korvantis {
namespace {

TEST(JsonMapping, InsertFreshAddsFindableEntries) {
    JsonMapping mapping;
    UuidGenerator generator;
    std::vector<Uuid> ids;
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) {
        texts.push_back("t" + std::to_string(i));
    }
    for (int i = 0; i < 3000; ++i) {
        ids.push_back(generator.next());
        if (i % 2) {
            mapping.insertFresh(ids.back(), texts[i]);
        } else {
            mapping.set(ids.back(), texts[i]);
        }
    }
    ASSERT_EQ(mapping.size(), 3000u);
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(mapping.find(ids[i]), texts[i]);
        ASSERT_EQ(mapping.entry(i).id, ids[i]);
    }
}

}  // namespace
}  // namespace korvantis
