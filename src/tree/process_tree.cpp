// The process tree build.
//
// The tree is defined by a walk: each node goes under the first node with its
// ppid that a depth-first walk from the root meets at its turn, the walk
// visiting a node, then its children's subtrees from the last child to the
// first. Walking the tree for every node costs nodes x tree size, so the
// build answers the same question with an index instead: per pid, the
// earliest node in the walk's visiting order. A node being attached is a leaf
// and becomes its parent's last child, so the walk visits it right after its
// parent; it takes over its pid's entry when it comes before the node there.
// Which of two nodes the walk visits first follows from the tree itself: an
// ancestor before its descendants, and below the nodes' closest common
// ancestor, the branch that was attached later first. Each node keeps a skip
// link up the tree, so finding that ancestor takes a logarithmic number of
// steps however deep the tree grows.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <future>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "store/linear_probing_table.h"
#include "tree/process_tree.h"
#include "tree/tree_facts.h"
#include "tree/tree_json.h"

namespace korvantis {

namespace {

// Nodes from which a tree's facts are written on a thread of their own.
constexpr std::size_t kFactsBesideJson = std::size_t{1} << 16;

// The tree's shape by handles (in the order nodes were attached), for
// comparing places in the walk's visiting order.
class VisitOrder {
  public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // The root; its handle is 0.
    VisitOrder() { links_.push_back({kNone, kNone, 0, 0}); }

    // A new last child of `parent`; returns its handle, which is larger than
    // every handle before it.
    std::uint32_t attach(std::uint32_t parent) {
        // Skew-binary skip links: the link depths depend on the depth alone,
        // and any ancestor is reached in O(log depth) steps.
        const Link& up = links_[parent];
        std::uint32_t jump = parent;
        if (up.jump != kNone) {
            const Link& upJump = links_[up.jump];
            if (upJump.jump != kNone &&
                up.depth - upJump.depth == upJump.depth - links_[upJump.jump].depth) {
                jump = upJump.jump;
            }
        }
        const std::uint32_t depth = up.depth + 1;
        ++links_[parent].children;
        links_.push_back({parent, jump, depth, 0});
        return static_cast<std::uint32_t>(links_.size() - 1);
    }

    std::uint32_t parentOf(std::uint32_t handle) const { return links_[handle].parent; }
    std::uint32_t childrenOf(std::uint32_t handle) const { return links_[handle].children; }
    std::size_t size() const { return links_.size(); }

    // Whether the walk visits `a` before `b`.
    bool before(std::uint32_t a, std::uint32_t b) const {
        if (a == b) {
            return false;
        }
        // Both at the same depth; an ancestor met on the way comes first.
        const std::uint32_t da = links_[a].depth;
        const std::uint32_t db = links_[b].depth;
        const std::uint32_t a2 = da > db ? ancestorAt(a, db) : a;
        const std::uint32_t b2 = db > da ? ancestorAt(b, da) : b;
        if (a2 == b2) {
            return da < db;
        }
        // Up to the children of the closest common ancestor: the later
        // attached of the two is visited first.
        std::uint32_t x = a2;
        std::uint32_t y = b2;
        while (links_[x].parent != links_[y].parent) {
            if (links_[x].jump != links_[y].jump) {
                x = links_[x].jump;
                y = links_[y].jump;
            } else {
                x = links_[x].parent;
                y = links_[y].parent;
            }
        }
        return x > y;
    }

  private:
    std::uint32_t ancestorAt(std::uint32_t n, std::uint32_t depth) const {
        while (links_[n].depth > depth) {
            const std::uint32_t jump = links_[n].jump;
            n = links_[jump].depth >= depth ? jump : links_[n].parent;
        }
        return n;
    }

    struct Link {
        std::uint32_t parent;
        std::uint32_t jump;  // an ancestor, the parent or further up
        std::uint32_t depth;
        std::uint32_t children;
    };
    ChunkedVector<Link> links_;  // grows without copying
};

// pid -> the earliest node with that pid in the walk's order (open
// addressing, linear probing; entries are never removed).
class PidIndex {
  public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // Pids are few next to events in a usual log; grow when needed.
    explicit PidIndex(std::size_t expected) : table_(std::min(expected, std::size_t{1} << 15)) {}

    // The slot's value for `pid` (kNone when new); stays valid until the
    // next call.
    std::uint32_t& at(std::int64_t pid) { return table_.insert(pid, kNone).first; }
    std::uint32_t find(std::int64_t pid) const {
        const std::uint32_t* value = table_.find(pid);
        return value ? *value : kNone;
    }
    // Asks for the memory of `pid`'s slot ahead of a look-up.
    void prefetch(std::int64_t pid) const { table_.prefetch(pid); }

  private:
    LinearProbingTable<std::int64_t, std::uint32_t> table_;
};

}  // namespace

// The build as it stands after the nodes placed so far. A build is a fold
// over the node list in order, so placing each node as it is added gives the
// same tree as building from scratch at the end, without the wait.
struct ProcessTree::Placement {
    // Handles: 0 is the root, 1 "Untracked Heritage", i + 2 is the i-th node.
    static constexpr std::uint32_t kUntracked = 1;

    Node root{"launchd", 1, 0};
    Node untracked{"Untracked Heritage", 0, 1};
    VisitOrder order;
    PidIndex earliest{1024};

    // The tree JSON's length, kept as nodes are placed: the build then
    // writes the text without measuring the whole tree first.
    std::size_t jsonLength =
        2 + treeJsonNodeLength(root.name, 1) + treeJsonNodeLength(untracked.name, 0);

    Placement() {
        earliest.at(root.pid) = 0;
        earliest.at(untracked.pid) = order.attach(0);
    }

    // Nodes are placed by handle alone: the build lists them from their
    // parents' handles, so no node keeps a list of its children.
    void place(const Node& n) {
        std::uint32_t p = earliest.find(n.ppid);
        if (p == PidIndex::kNone) {
            p = kUntracked;
        }
        const std::uint32_t h = order.attach(p);
        jsonLength += treeJsonNodeLength(n.name, 0) + treeJsonChildGrowth(order.childrenOf(p));

        std::uint32_t& slot = earliest.at(n.pid);
        if (slot == PidIndex::kNone || order.before(h, slot)) {
            slot = h;
        }
    }
};

ProcessTree::ProcessTree() : placement_(std::make_unique<Placement>()) {}

ProcessTree::~ProcessTree() = default;

void ProcessTree::prefetch(std::int64_t pid, std::int64_t ppid) const {
    placement_->earliest.prefetch(pid);
    placement_->earliest.prefetch(ppid);
}

void ProcessTree::add(std::uint64_t place, std::string_view path, std::int64_t pid,
                      std::int64_t ppid) {
    Node& n = nodes_.emplace_back(path, pid, ppid);
    n.place = static_cast<std::int64_t>(place);
    placement_->place(n);
}

void ProcessTree::dropFrom(std::uint64_t place) {
    // Nodes are added in the order of their places.
    std::size_t kept = nodes_.size();
    while (kept > 0 && static_cast<std::uint64_t>(nodes_[kept - 1].place) >= place) {
        --kept;
    }
    auto placement = std::make_unique<Placement>();
    for (std::size_t i = 0; i < kept; ++i) {
        placement->place(nodes_[i]);
    }
    nodes_.shrinkTo(kept);
    placement_ = std::move(placement);
}

std::size_t ProcessTree::jsonLength() const {
    return placement_->jsonLength;
}

// The tree's order from the parents' handles alone: a parent's handle is
// smaller than its children's, and siblings' handles grow in list order. So
// one pass from the last handle down sums the subtrees' sizes, and one pass
// up gives each node its place after its parent and its elder siblings'
// subtrees. Both passes read the handles in a row; a walk of the nodes
// themselves would miss the caches at every node of a large tree.
TreeOrder ProcessTree::treeOrder() const {
    const VisitOrder& handles = placement_->order;
    const std::size_t count = handles.size();
    // First each handle's subtree size; then, from the parents down, the
    // next free place inside its subtree, which replaces its size once the
    // handle is placed (a parent's handle comes before its children's).
    std::vector<std::uint32_t> sizeThenNext(count, 1);
    for (std::size_t h = count - 1; h > 0; --h) {
        sizeThenNext[handles.parentOf(static_cast<std::uint32_t>(h))] += sizeThenNext[h];
    }
    TreeOrder order;
    order.nodes.resize(count);
    order.descendants.resize(count);
    for (std::size_t h = 0; h < count; ++h) {
        const std::uint32_t size = sizeThenNext[h];
        std::uint32_t place = 0;
        if (h > 0) {
            std::uint32_t& parentNext =
                sizeThenNext[handles.parentOf(static_cast<std::uint32_t>(h))];
            place = parentNext;
            parentNext += size;
        }
        sizeThenNext[h] = place + 1;
        order.nodes[place] = h == 0                       ? &placement_->root
                             : h == Placement::kUntracked ? &placement_->untracked
                                                          : &nodes_[h - 2];
        order.descendants[place] = size - 1;
    }
    return order;
}

std::optional<ProcessTree::BuiltTree> ProcessTree::build() {
    const TreeOrder order = treeOrder();
    // A large tree's facts are written beside its JSON: the build is the
    // last step of a load, with the load's other threads done. Without a
    // thread to spare, they are written after it.
    std::future<std::string> facts;
    if (factsWanted_) {
        auto write = [&] { return encodeTreeFacts(order, placesInFacts_); };
        try {
            facts = std::async(
                order.nodes.size() >= kFactsBesideJson ? std::launch::async : std::launch::deferred,
                write);
        } catch (const std::system_error&) {
            facts = std::async(std::launch::deferred, write);
        }
    }
    std::optional<std::string> json = encodeTreeJson(order, jsonLength());
    std::string factsText = facts.valid() ? facts.get() : std::string();
    if (!json) {
        return std::nullopt;
    }
    return BuiltTree{sharedText(std::move(*json)), sharedText(std::move(factsText))};
}

}  // namespace korvantis
