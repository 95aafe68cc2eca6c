#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/node_tree.h"
#include "tree/process_tree.h"

namespace korvantis {
namespace {

using testsupport::TreeNode;

// A process tree fed directly, keeping the paths its nodes refer to.
struct Tree {
    std::deque<std::string> paths;
    ProcessTree tree;
    Tree() { tree.setPlacesInFacts(true); }

    void add(std::int64_t pid, std::int64_t ppid, const std::string& path) {
        const std::uint64_t place = paths.size();
        tree.add(place, paths.emplace_back(path), pid, ppid);
    }
    const ChunkedVector<Node>& nodes() const { return tree.nodes(); }
};

// The first node with `pid` that a depth-first walk from `top` meets,
// visiting each node's children from the last to the first.
TreeNode* walkFind(TreeNode& top, std::int64_t pid) {
    std::vector<TreeNode*> stack{&top};
    while (!stack.empty()) {
        TreeNode* n = stack.back();
        stack.pop_back();
        if (n->node.pid == pid) {
            return n;
        }
        stack.insert(stack.end(), n->children.begin(), n->children.end());
    }
    return nullptr;
}

// The tree as the plain walk builds it: every node goes under
// walkFind(root, ppid), else under "Untracked Heritage", starting from empty
// children lists. Slow (nodes x tree size), used as the reference, with
// its JSON and facts written by walking the nodes.
// A build's texts, compared as texts.
struct BuiltTexts {
    std::string json;
    std::string facts;
};

BuiltTexts walkTree(const Tree& store) {
    std::vector<std::unique_ptr<TreeNode>> copies;
    for (const Node& n : store.nodes()) {
        copies.push_back(std::make_unique<TreeNode>(std::string(n.path), n.pid, n.ppid));
        copies.back()->node.place = n.place;
    }
    TreeNode root("launchd", 1, 0);
    TreeNode untracked("Untracked Heritage", 0, 1);
    root.children.push_back(&untracked);
    for (auto& n : copies) {
        TreeNode* p = walkFind(root, n->node.ppid);
        (p != nullptr ? p : &untracked)->children.push_back(n.get());
    }
    return {encodeTreeJson(testsupport::visitInTreeOrder(root)).value_or("<encoding failed>"),
            encodeTreeFacts(testsupport::visitInTreeOrder(root), true)};
}

BuiltTexts built(Tree& store) {
    auto tree = store.tree.build();
    if (!tree) {
        return {"<encoding failed>", ""};
    }
    // The length kept while placing is what the text is made with.
    EXPECT_EQ(tree->json->size(), store.tree.jsonLength());
    return {std::string(*tree->json), std::string(*tree->facts)};
}

void sameAsTheWalk(Tree& store) {
    const BuiltTexts tree = built(store);
    const BuiltTexts walked = walkTree(store);
    ASSERT_EQ(tree.json, walked.json);
    ASSERT_EQ(tree.facts, walked.facts);
}

constexpr const char* kTop = R"([{"name":"launchd","children":[{"name":"Untracked Heritage")";

TEST(ProcessTree, PlacesEachNodeWhereTheWalkWould) {
    struct Proc {
        std::int64_t pid, ppid;
        const char* path;
    };
    struct Case {
        const char* what;
        std::vector<Proc> procs;
        std::string expected;  // after kTop
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"ppid 1 goes under the root even with a pid 1 node",
         {{1, 0, "/sbin/launchd"}, {5, 1, "a"}},
         R"(,"children":[{"name":"launchd"}]},{"name":"a"}]}])"},
        {"ppid 0 goes under the catch-all unless a pid 0 node came first",
         {{7, 0, "early"}, {0, 1, "kernel"}, {8, 0, "late"}},
         R"(,"children":[{"name":"early"}]},{"name":"kernel","children":[{"name":"late"}]}]}])"},
        {"parents after their children; the root's subtrees before the catch-all",
         {{10, 20, "c"}, {11, 10, "g"}, {20, 1, "p"}, {12, 20, "s"}, {10, 20, "c2"},
          {13, 10, "g2"}},
         R"(,"children":[{"name":"c","children":[{"name":"g"}]}]},{"name":"p",)"
         R"("children":[{"name":"s"},{"name":"c2","children":[{"name":"g2"}]}]}]}])"},
        {"fork and exec are siblings and the later one adopts",
         {{5, 1, "sh"}, {5, 1, "ls"}, {6, 5, "cat"}},
         R"(},{"name":"sh"},{"name":"ls","children":[{"name":"cat"}]}]}])"},
        {"the ancestor beats a descendant with its pid; the newest root subtree first",
         {{2, 1, "a"}, {3, 2, "a3"}, {2, 3, "a32"}, {4, 2, "x"}, {9, 1, "b"}, {3, 9, "b3"},
          {5, 3, "y"}},
         R"(},{"name":"a","children":[{"name":"a3","children":[{"name":"a32"}]},{"name":"x"}]},)"
         R"({"name":"b","children":[{"name":"b3","children":[{"name":"y"}]}]}]}])"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Tree store;
        for (const Proc& p : c.procs) {
            store.add(p.pid, p.ppid, p.path);
        }
        EXPECT_EQ(built(store).json, kTop + c.expected);
    }
}

// Random logs with heavily reused pids, compared with the walk after every
// load of several into one store (so a second build, and a build after a
// second load, list every node once); the last round has long runs of chains,
// which make the tree deep.
TEST(ProcessTree, MatchesTheWalkOnRandomLogs) {
    const std::vector<std::string> paths = {
        "/bin/sh", "/usr/bin/ls", "/", "x", "/tmp/\xc3\xa9t\xc3\xa9/", "a \"q\"\\"};
    std::mt19937_64 rng(12345);
    for (int round = 0; round <= 300; ++round) {
        const bool large = round == 300;
        Tree store;
        const int pidRange = large ? 3000 : 2 + static_cast<int>(rng() % 40);
        const int loads = large ? 3 : 1 + static_cast<int>(rng() % 3);
        std::int64_t lastPid = 1;
        for (int load = 0; load < loads; ++load) {
            const int lines = large ? 2000 : static_cast<int>(rng() % 120);
            for (int i = 0; i < lines; ++i) {
                const std::int64_t pid = static_cast<std::int64_t>(rng() % pidRange);
                const auto kind = rng() % 10;
                const std::int64_t ppid = kind < (large ? 7u : 2u) ? lastPid
                                          : kind < 4 ? static_cast<std::int64_t>(rng() % 2)
                                                     : static_cast<std::int64_t>(rng() % pidRange);
                store.add(pid, ppid, paths[rng() % paths.size()]);
                if (rng() % 4 == 0) {  // FORK then EXEC of the same process
                    store.add(pid, ppid, "/bin/exec");
                }
                lastPid = pid;
            }
            ASSERT_NO_FATAL_FAILURE(sameAsTheWalk(store)) << "round " << round << " load " << load;
        }
        ASSERT_NO_FATAL_FAILURE(sameAsTheWalk(store)) << "round " << round << ", built again";
    }
}

}  // namespace
}  // namespace korvantis
