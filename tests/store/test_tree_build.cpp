#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "store/event_keeper.h"
#include "store/node.h"
#include "tree/tree_json.h"

namespace korvantis {
namespace {

std::string procLine(std::int64_t pid, std::int64_t ppid, const std::string& path,
                     const char* event = "ES_EVENT_TYPE_NOTIFY_EXEC") {
    std::string line = R"({"event":")";
    line += event;
    line += R"(","timestamp":"t","process":{"pid":)" + std::to_string(pid) + R"(,"ppid":)" +
            std::to_string(ppid) + R"(,"path":")" + path + R"("}})";
    return line;
}

// The tree as the plain walk builds it: every node goes under
// root.findNode(ppid), else under "Untracked Heritage", starting from empty
// children lists. Slow (nodes x tree size), used as the reference.
std::string walkTree(const EventKeeper& store) {
    std::vector<std::unique_ptr<Node>> copies;
    for (const Node& n : store.nodes()) {
        copies.push_back(std::make_unique<Node>(n.uid, std::string(n.path), n.pid, n.ppid));
    }
    Node root(Uuid::random(), "launchd", 1, 0);
    Node untracked(Uuid::random(), "Untracked Heritage", 0, 1);
    root.addChild(&untracked);
    for (auto& n : copies) {
        Node* p = root.findNode(n->ppid);
        (p != nullptr ? p : &untracked)->addChild(n.get());
    }
    return encodeTreeJson(root).value_or("<encoding failed>");
}

std::string built(EventKeeper& store) {
    store.buildProcessTree();
    return store.jsonTreeRaw();
}

constexpr const char* kEmptyTree =
    R"([{"name":"launchd","children":[{"name":"Untracked Heritage"}]}])";

TEST(ProcessTree, EmptyBuild) {
    EventKeeper store;
    EXPECT_EQ(store.jsonTreeRaw(), "");
    EXPECT_EQ(built(store), kEmptyTree);
    store.ingestJsonLine(R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"t",)"
                         R"("file":{"pid":3,"destination":"/tmp/x"}})");
    EXPECT_EQ(built(store), kEmptyTree);
}

TEST(ProcessTree, PpidOneGoesUnderTheRootEvenWithAPidOneNode) {
    EventKeeper store;
    store.ingestJsonLine(procLine(1, 0, "/sbin/launchd"));
    store.ingestJsonLine(procLine(5, 1, "/bin/a"));
    EXPECT_EQ(built(store),
              R"([{"name":"launchd","children":[{"name":"Untracked Heritage","children":)"
              R"([{"name":"launchd"}]},{"name":"a"}]}])");
}

TEST(ProcessTree, PpidZeroGoesUnderUntrackedUnlessAnotherPidZeroComesFirst) {
    EventKeeper store;
    store.ingestJsonLine(procLine(7, 0, "/bin/early"));
    store.ingestJsonLine(procLine(0, 1, "/kernel"));
    store.ingestJsonLine(procLine(8, 0, "/bin/late"));
    EXPECT_EQ(built(store),
              R"([{"name":"launchd","children":[{"name":"Untracked Heritage","children":)"
              R"([{"name":"early"}]},{"name":"kernel","children":[{"name":"late"}]}]}])");
}

TEST(ProcessTree, ParentsAfterTheirChildren) {
    EventKeeper store;
    store.ingestJsonLine(procLine(10, 20, "/bin/child"));  // parent not yet known
    store.ingestJsonLine(procLine(11, 10, "/bin/grand"));  // under child, in the catch-all
    store.ingestJsonLine(procLine(20, 1, "/bin/parent"));
    store.ingestJsonLine(procLine(12, 20, "/bin/second"));  // now finds the parent
    store.ingestJsonLine(procLine(10, 20, "/bin/child2"));
    store.ingestJsonLine(procLine(13, 10, "/bin/g2"));  // root's subtrees before the catch-all
    EXPECT_EQ(built(store),
              R"([{"name":"launchd","children":[{"name":"Untracked Heritage","children":)"
              R"([{"name":"child","children":[{"name":"grand"}]}]},{"name":"parent",)"
              R"("children":[{"name":"second"},{"name":"child2","children":[{"name":"g2"}]}]}]}])");
}

TEST(ProcessTree, ForkAndExecAreSiblingsAndTheLaterOneAdopts) {
    EventKeeper store;
    store.ingestJsonLine(procLine(5, 1, "/bin/sh", "ES_EVENT_TYPE_NOTIFY_FORK"));
    store.ingestJsonLine(procLine(5, 1, "/bin/ls", "ES_EVENT_TYPE_NOTIFY_EXEC"));
    store.ingestJsonLine(procLine(6, 5, "/bin/cat", "ES_EVENT_TYPE_NOTIFY_FORK"));
    EXPECT_EQ(built(store), R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},)"
                            R"({"name":"sh"},{"name":"ls","children":[{"name":"cat"}]}]}])");
}

TEST(ProcessTree, AncestorBeforeDescendantAndNewestSubtreeFirst) {
    EventKeeper store;
    store.ingestJsonLine(procLine(2, 1, "/a"));
    store.ingestJsonLine(procLine(3, 2, "/a3"));
    store.ingestJsonLine(procLine(2, 3, "/a3-2"));  // pid 2 again, below the first
    store.ingestJsonLine(procLine(4, 2, "/x"));     // the ancestor pid 2 wins
    store.ingestJsonLine(procLine(9, 1, "/b"));
    store.ingestJsonLine(procLine(3, 9, "/b3"));
    store.ingestJsonLine(procLine(5, 3, "/y"));  // newest root subtree (b) first
    EXPECT_EQ(
        built(store),
        R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},)"
        R"({"name":"a","children":[{"name":"a3","children":[{"name":"a3-2"}]},{"name":"x"}]},)"
        R"({"name":"b","children":[{"name":"b3","children":[{"name":"y"}]}]}]}])");
}

TEST(ProcessTree, RepeatedBuildsListEveryNodeOnce) {
    EventKeeper store;
    const std::vector<std::string> lines = {procLine(10, 20, "/c"), procLine(20, 1, "/p"),
                                            procLine(30, 10, "/g")};
    for (const auto& l : lines) {
        store.ingestJsonLine(l);
    }
    const std::string first = built(store);
    EXPECT_EQ(built(store), first);
    // A second load of the same lines: each node of both loads appears once.
    for (const auto& l : lines) {
        store.ingestJsonLine(l);
    }
    const std::string second = built(store);
    EXPECT_EQ(second, walkTree(store));
    EXPECT_EQ(second, R"([{"name":"launchd","children":[{"name":"Untracked Heritage","children":)"
                      R"([{"name":"c","children":[{"name":"g"}]}]},{"name":"p","children":)"
                      R"([{"name":"c","children":[{"name":"g"}]}]},{"name":"p"}]}])");
    std::size_t attached = 0;
    for (const Node& n : store.nodes()) {
        attached += n.children.size();
    }
    EXPECT_EQ(attached, 3u);  // g, g under the two c; c under p; the rest under fixed nodes
}

TEST(ProcessTree, ParentReferencesToFixedNodesAreCleared) {
    EventKeeper store;
    store.ingestJsonLine(procLine(10, 1, "/a"));
    store.ingestJsonLine(procLine(11, 10, "/b"));
    store.ingestJsonLine(procLine(12, 99, "/c"));
    store.buildProcessTree();
    const auto& nodes = store.nodes();
    EXPECT_EQ(nodes[0].parent, nullptr);
    EXPECT_EQ(nodes[1].parent, &nodes[0]);
    EXPECT_EQ(nodes[2].parent, nullptr);
    ASSERT_EQ(nodes[0].children.size(), 1u);
    EXPECT_EQ(nodes[0].children[0], &nodes[1]);
}

// Random logs with heavily reused pids, compared with the walk after every
// load of several into one store.
TEST(ProcessTree, MatchesTheWalkOnRandomLogs) {
    const std::vector<std::string> paths = {
        "/bin/sh", "/usr/bin/ls", "/", "x", "/tmp/\xc3\xa9t\xc3\xa9/", "a \"q\"\\"};
    std::mt19937_64 rng(12345);
    for (int round = 0; round < 300; ++round) {
        EventKeeper store;
        const int pidRange = 2 + static_cast<int>(rng() % 40);
        const int loads = 1 + static_cast<int>(rng() % 3);
        std::int64_t lastPid = 1;
        for (int load = 0; load < loads; ++load) {
            const int lines = static_cast<int>(rng() % 120);
            for (int i = 0; i < lines; ++i) {
                const std::int64_t pid = static_cast<std::int64_t>(rng() % pidRange);
                std::int64_t ppid;
                switch (rng() % 6) {
                    case 0:
                        ppid = lastPid;
                        break;  // chains
                    case 1:
                        ppid = static_cast<std::int64_t>(rng() % 2);
                        break;  // 0 or 1
                    default:
                        ppid = static_cast<std::int64_t>(rng() % pidRange);
                }
                const char* ev =
                    rng() % 2 ? "ES_EVENT_TYPE_NOTIFY_FORK" : "ES_EVENT_TYPE_NOTIFY_EXEC";
                store.ingestJsonLine(procLine(pid, ppid, paths[rng() % paths.size()], ev));
                if (rng() % 4 == 0) {  // FORK then EXEC of the same process
                    store.ingestJsonLine(procLine(pid, ppid, "/bin/exec"));
                }
                lastPid = pid;
            }
            ASSERT_EQ(built(store), walkTree(store)) << "round " << round << " load " << load;
        }
    }
}

// Long runs of insertions at one place force the index to relabel.
TEST(ProcessTree, MatchesTheWalkOnLargeLogsWithLongChains) {
    std::mt19937_64 rng(99);
    EventKeeper store;
    std::int64_t lastPid = 1;
    for (int i = 0; i < 6000; ++i) {
        const std::int64_t pid = 2 + static_cast<std::int64_t>(rng() % 3000);
        const std::int64_t ppid =
            rng() % 10 < 7 ? lastPid : static_cast<std::int64_t>(rng() % 3000);
        store.ingestJsonLine(procLine(pid, ppid, "/p" + std::to_string(i % 7)));
        lastPid = pid;
        if (i % 2000 == 1999) {
            ASSERT_EQ(built(store), walkTree(store)) << i;
        }
    }
}

TEST(ProcessTree, MillionDeepChain) {
    constexpr int kDepth = 1000000;
    EventKeeper store;
    for (int i = 0; i < kDepth; ++i) {
        store.ingestJsonLine(procLine(i + 2, i + 1, "/n"));
    }
    const std::string& json = built(store);
    std::string expected = R"([{"name":"launchd","children":[{"name":"Untracked Heritage"},)";
    for (int i = 1; i < kDepth; ++i) {
        expected += R"({"name":"n","children":[)";
    }
    expected += R"({"name":"n"})";
    for (int i = 0; i < kDepth; ++i) {
        expected += "]}";
    }
    expected += "]";
    EXPECT_EQ(json, expected);
    const Node& top = store.nodes()[0];
    EXPECT_EQ(const_cast<Node&>(top).findNode(kDepth + 1), &store.nodes()[kDepth - 1]);
    EXPECT_EQ(const_cast<Node&>(top).findNode(-5), nullptr);
}

TEST(Node, AddChildKeepsOneEntryPerUid) {
    Node p(Uuid::random(), "/p", 1, 0);
    Node c(Uuid::random(), "/c", 2, 1);
    Node twin(c.uid, "/other", 3, 1);  // equal by uid
    p.addChild(&c);
    p.addChild(&c);
    p.addChild(&twin);
    ASSERT_EQ(p.children.size(), 1u);
    EXPECT_EQ(c.parent, &p);
    EXPECT_EQ(twin.parent, nullptr);
}

TEST(Node, FindNodeSearchesSelfThenChildrenLastToFirst) {
    Node r(Uuid::random(), "r", 1, 0);
    Node a(Uuid::random(), "a", 5, 1), b(Uuid::random(), "b", 6, 1);
    Node a1(Uuid::random(), "a1", 6, 5), b1(Uuid::random(), "b1", 5, 6);
    r.addChild(&a);
    r.addChild(&b);
    a.addChild(&a1);
    b.addChild(&b1);
    EXPECT_EQ(r.findNode(1), &r);
    EXPECT_EQ(r.findNode(6), &b);   // b before a's subtree
    EXPECT_EQ(r.findNode(5), &b1);  // b's whole subtree before a
    EXPECT_EQ(a.findNode(6), &a1);
    EXPECT_EQ(r.findNode(7), nullptr);
}

}  // namespace
}  // namespace korvantis
