#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "store/node.h"
#include "tree/tree_json.h"

namespace korvantis {
namespace {

// Owns the nodes of a hand-made tree.
struct Forest {
    std::vector<std::unique_ptr<Node>> nodes;
    Node* make(const std::string& path, Node* parent = nullptr) {
        nodes.push_back(std::make_unique<Node>(Uuid::random(), path, 2, 1));
        if (parent != nullptr) {
            parent->addChild(nodes.back().get());
        }
        return nodes.back().get();
    }
};

TEST(TreeJson, FixedNodesOnly) {
    Forest f;
    Node* root = f.make("launchd");
    f.make("Untracked Heritage", root);
    EXPECT_EQ(encodeTreeJson(*root),
              R"([{"name":"launchd","children":[{"name":"Untracked Heritage"}]}])");
}

TEST(TreeJson, LeafHasNoChildrenMember) {
    Forest f;
    EXPECT_EQ(encodeTreeJson(*f.make("/usr/bin/ls")), R"([{"name":"ls"}])");
}

TEST(TreeJson, ChildrenInListOrderAtEveryLevel) {
    Forest f;
    Node* root = f.make("r");
    Node* a = f.make("a", root);
    f.make("a1", a);
    Node* a2 = f.make("a2", a);
    f.make("a21", a2);
    f.make("b", root);
    EXPECT_EQ(encodeTreeJson(*root),
              R"([{"name":"r","children":[{"name":"a","children":[{"name":"a1"},)"
              R"({"name":"a2","children":[{"name":"a21"}]}]},{"name":"b"}]}])");
}

TEST(TreeJson, NamesAreEscaped) {
    Forest f;
    Node* root = f.make("/");  // a single slash is its own name
    f.make("say \"hi\"", root);
    f.make("back\\slash", root);
    f.make("tab\tnl\nctl\x01", root);
    f.make(
        "/Users/x/\xc3\x9cn\xc3\xaf"
        "code App",
        root);
    f.make("a/b/", root);  // named "b"
    EXPECT_EQ(encodeTreeJson(*root),
              R"([{"name":"\/","children":[{"name":"say \"hi\""},{"name":"back\\slash"},)"
              R"({"name":"tab\tnl\nctl\u0001"},{"name":"Ünïcode App"},{"name":"b"}]}])");
}

TEST(TreeJson, InvalidUtf8NameFails) {
    Forest f;
    Node* root = f.make("launchd");
    Node* a = f.make("a", root);
    f.make("bad\xff", a);
    EXPECT_EQ(encodeTreeJson(*root), std::nullopt);
    Forest g;
    EXPECT_EQ(encodeTreeJson(*g.make("\xc3")), std::nullopt);
}

TEST(TreeJson, NodeListedUnderTwoParentsIsWrittenTwice) {
    Forest f;
    Node* root = f.make("r");
    Node* a = f.make("a", root);
    Node* b = f.make("b", root);
    Node* c = f.make("c", a);
    b->addChild(c);
    EXPECT_EQ(encodeTreeJson(*root),
              R"([{"name":"r","children":[{"name":"a","children":[{"name":"c"}]},)"
              R"({"name":"b","children":[{"name":"c"}]}]}])");
}

TEST(TreeJson, DeepChainDoesNotExhaustTheStack) {
    constexpr int kDepth = 300000;
    Forest f;
    Node* root = f.make("r");
    Node* last = root;
    for (int i = 0; i < kDepth; ++i) {
        last = f.make("n", last);
    }
    std::string expected = R"([{"name":"r","children":[)";
    for (int i = 1; i < kDepth; ++i) {
        expected += R"({"name":"n","children":[)";
    }
    expected += R"({"name":"n"})";
    for (int i = 0; i < kDepth; ++i) {
        expected += "]}";
    }
    expected += "]";
    EXPECT_EQ(encodeTreeJson(*root), expected);
}

}  // namespace
}  // namespace korvantis
