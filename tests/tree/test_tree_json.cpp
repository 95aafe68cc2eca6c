#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tree/node.h"
#include "tree/tree_json.h"

namespace korvantis {
namespace {

// Owns the nodes of a hand-made tree.
struct Forest {
    std::vector<std::unique_ptr<Node>> nodes;
    Node* make(const std::string& path, Node* parent = nullptr) {
        nodes.push_back(std::make_unique<Node>(path, 2, 1));
        if (parent != nullptr) {
            parent->addChild(nodes.back().get());
        }
        return nodes.back().get();
    }
};

// Children in list order at every level, no "children" member on a leaf, and
// a node listed under two parents written under each.
TEST(TreeJson, Shape) {
    Forest f;
    EXPECT_EQ(encodeTreeJson(*f.make("/usr/bin/ls")), R"([{"name":"ls"}])");
    Node* root = f.make("r");
    Node* a = f.make("a", root);
    f.make("a1", a);
    Node* a2 = f.make("a2", a);
    Node* b = f.make("b", root);
    b->addChild(f.make("a21", a2));
    EXPECT_EQ(encodeTreeJson(*root),
              R"([{"name":"r","children":[{"name":"a","children":[{"name":"a1"},)"
              R"({"name":"a2","children":[{"name":"a21"}]}]},)"
              R"({"name":"b","children":[{"name":"a21"}]}]}])");
}

TEST(TreeJson, NamesAreEscaped) {
    Forest f;
    Node* root = f.make("/");  // a single slash is its own name
    for (const char* path : {"say \"hi\"", "back\\slash", "tab\tnl\nctl\x01",
                             "/Users/x/\u00dcn\u00efcode App", "a/b/"}) {
        f.make(path, root);
    }
    EXPECT_EQ(encodeTreeJson(*root),
              R"([{"name":"\/","children":[{"name":"say \"hi\""},{"name":"back\\slash"},)"
              R"({"name":"tab\tnl\nctl\u0001"},{"name":"Ünïcode App"},{"name":"b"}]}])");
}

TEST(TreeJson, InvalidUtf8NameFails) {
    Forest f;
    Node* root = f.make("launchd");
    f.make("bad\xff", f.make("a", root));
    EXPECT_EQ(encodeTreeJson(*root), std::nullopt);
    EXPECT_EQ(encodeTreeJson(*f.make("\xc3")), std::nullopt);
}

}  // namespace
}  // namespace korvantis
