#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decode/json_text.h"
#include "support/node_tree.h"

namespace korvantis {
namespace {

using testsupport::TreeNode;
using testsupport::visitInTreeOrder;

// Owns the nodes of a hand-made tree.
struct Forest {
    std::vector<std::unique_ptr<TreeNode>> nodes;
    TreeNode* make(const std::string& path, std::int64_t pid, std::int64_t ppid,
                   TreeNode* parent = nullptr, std::int64_t place = -1) {
        nodes.push_back(std::make_unique<TreeNode>(path, pid, ppid));
        nodes.back()->node.place = place;
        if (parent != nullptr) {
            parent->children.push_back(nodes.back().get());
        }
        return nodes.back().get();
    }
};

// The plain reference: a recursive walk that counts each subtree on its own.
std::size_t countBelow(const TreeNode& n) {
    std::size_t count = 0;
    for (const TreeNode* c : n.children) {
        count += 1 + countBelow(*c);
    }
    return count;
}

// `places`: each node's place, by the node, or empty when not asked for.
void referenceFacts(const TreeNode& n, std::string& out, std::vector<std::string>& names,
                    const std::map<const TreeNode*, long long>& places) {
    out += out.size() > 1 ? ",[" : "[";
    out += std::to_string(n.node.pid) + "," + std::to_string(n.node.ppid) + ",";
    appendJsonString(out, n.node.path, false);
    out += "," + std::to_string(countBelow(n));
    if (!places.empty()) {
        out += "," + std::to_string(places.at(&n));
    }
    out += "]";
    names.emplace_back(n.node.name);
    for (const TreeNode* c : n.children) {
        referenceFacts(*c, out, names, places);
    }
}

// The names in the order the tree JSON writes them (names here need no escapes).
std::vector<std::string> namesInTreeJson(const std::string& json) {
    std::vector<std::string> names;
    const std::string key = "{\"name\":\"";
    for (std::size_t at = json.find(key); at != std::string::npos; at = json.find(key, at)) {
        at += key.size();
        names.push_back(json.substr(at, json.find('"', at) - at));
    }
    return names;
}

// Random trees, some nodes listed under two parents, paths that need escapes:
// the facts match the reference entry for entry, in the tree JSON's order;
// in every other round with each node's place (nodes of no line: -1).
TEST(TreeFacts, MatchesARecursiveWalkOnRandomTrees) {
    std::mt19937 rng(7);
    const std::vector<std::string> dirs = {"/usr/bin/", "/Users/\xc3\xa9milie/say \"hi\"/",
                                           "C:\\odd\\dir/", "/tmp/tab\there/", ""};
    for (int round = 0; round < 200; ++round) {
        Forest f;
        std::map<const TreeNode*, long long> places;
        const int size = 1 + static_cast<int>(rng() % 60);
        std::vector<TreeNode*> made;
        for (int i = 0; i < size; ++i) {
            const std::string path = dirs[rng() % dirs.size()] + "n" + std::to_string(i);
            const std::int64_t pid = static_cast<std::int64_t>(rng() % 5000) - 10;
            TreeNode* parent = made.empty() ? nullptr : made[rng() % made.size()];
            const bool ofALine = round % 2 == 1 && rng() % 4 != 0;
            const std::uint64_t place = rng() % 1000000;
            made.push_back(f.make(path, pid, parent ? parent->node.pid : -1, parent,
                                  ofALine ? static_cast<std::int64_t>(place) : -1));
            if (round % 2 == 1) {
                places[made.back()] = ofALine ? static_cast<long long>(place) : -1;
            }
            if (made.size() > 2 && rng() % 10 == 0) {
                made[1 + rng() % (made.size() - 2)]->children.push_back(made.back());
            }
        }
        std::string expected = "[";
        std::vector<std::string> names;
        referenceFacts(*made[0], expected, names, places);
        expected += "]";
        ASSERT_EQ(encodeTreeFacts(visitInTreeOrder(*made[0]), round % 2 == 1), expected)
            << "round " << round;
        ASSERT_EQ(namesInTreeJson(encodeTreeJson(visitInTreeOrder(*made[0])).value_or("")), names);
    }
}

// Children in list order at every level, no "children" member on a leaf, and
// a node listed under two parents written under each; a name is its path's
// last component, escaped (a slash, or slashes alone, name "/"); a name
// that is not UTF-8 fails the whole.
TEST(TreeJson, ShapeNamesAndFailure) {
    Forest f;
    EXPECT_EQ(encodeTreeJson(visitInTreeOrder(*f.make("/usr/bin/ls", 2, 1))), R"([{"name":"ls"}])");
    TreeNode* root = f.make("r", 2, 1);
    TreeNode* a = f.make("a", 2, 1, root);
    f.make("a1", 2, 1, a);
    TreeNode* a2 = f.make("a2", 2, 1, a);
    TreeNode* b = f.make("b", 2, 1, root);
    b->children.push_back(f.make("a21", 2, 1, a2));
    EXPECT_EQ(encodeTreeJson(visitInTreeOrder(*root)),
              R"([{"name":"r","children":[{"name":"a","children":[{"name":"a1"},)"
              R"({"name":"a2","children":[{"name":"a21"}]}]},)"
              R"({"name":"b","children":[{"name":"a21"}]}]}])");
    TreeNode* named = f.make("/", 2, 1);
    for (const char* path : {"say \"hi\"", "back\\slash", "tab\tnl\nctl\x01",
                             "/Users/x/\u00dcn\u00efcode App", "a/b/", "/tmp///", "//", ""}) {
        f.make(path, 2, 1, named);
    }
    EXPECT_EQ(encodeTreeJson(visitInTreeOrder(*named)),
              R"([{"name":"\/","children":[{"name":"say \"hi\""},{"name":"back\\slash"},)"
              R"({"name":"tab\tnl\nctl\u0001"},{"name":"Ünïcode App"},{"name":"b"},)"
              R"({"name":"tmp"},{"name":"\/"},{"name":""}]}])");
    f.make("bad\xff", 2, 1, a2);
    EXPECT_EQ(encodeTreeJson(visitInTreeOrder(*root)), std::nullopt);
    EXPECT_EQ(encodeTreeJson(visitInTreeOrder(*f.make("\xc3", 2, 1))), std::nullopt);
}

}  // namespace
}  // namespace korvantis
