// The process tree build.
//
// The tree is defined by a walk: each node goes under the first node with its
// ppid that a depth-first walk from the root meets at its turn, the walk
// visiting a node, then its children's subtrees from the last child to the
// first. Walking the tree for every node costs nodes x tree size, so the
// build answers the same question with an index instead. A node being
// attached is a leaf and becomes its parent's last child, so in the walk's
// visiting order it comes right after its parent. The visiting order is
// therefore a list in which every node is inserted right after its parent,
// and the walk's answer for a pid is the earliest node with that pid in the
// list. The build keeps that list with order labels (insert after, compare
// order) and, per pid, the earliest node.

#include <bit>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tree/process_tree.h"
#include "tree/tree_facts.h"
#include "tree/tree_json.h"

namespace korvantis {

namespace {

// Order maintenance by list labelling: every element carries a 64-bit label
// that grows along the list. A new element takes the middle of the gap after
// its predecessor; when there is no gap, the smallest aligned label range
// around the predecessor that is sparse enough is relabelled evenly (Bender,
// Cole, Demaine, Farach-Colton, Zito: "Two simplified algorithms for
// maintaining order in a list"). Amortized O(log n) per insertion.
class OrderList {
  public:
    static constexpr int kBits = 62;
    static constexpr std::uint64_t kUniverse = std::uint64_t{1} << kBits;
    static constexpr std::uint32_t kNone = UINT32_MAX;

    OrderList() {
        // A range of 2^k labels may hold at most (2/T)^k elements, T = 1.4:
        // even the whole universe then has room for billions of elements.
        double limit = 1.0;
        for (int k = 0; k <= kBits; ++k) {
            maxCount_[k] = limit;
            limit *= 2.0 / 1.4;
        }
    }

    // The first element of the list.
    std::uint32_t addFirst() { return push(0, kNone, kNone); }

    // A new element right after `at`; returns its handle.
    std::uint32_t insertAfter(std::uint32_t at) {
        const std::uint32_t succ = slots_[at].next;
        const std::uint64_t lo = slots_[at].label;
        const std::uint64_t hi = succ == kNone ? kUniverse : slots_[succ].label;
        const std::uint32_t n = push(lo + (hi - lo) / 2, at, succ);
        slots_[at].next = n;
        if (succ != kNone) {
            slots_[succ].prev = n;
        }
        if (hi - lo < 2) {
            relabelAround(n, at);
        }
        return n;
    }

    bool before(std::uint32_t a, std::uint32_t b) const {
        return slots_[a].label < slots_[b].label;
    }

  private:
    std::uint32_t push(std::uint64_t label, std::uint32_t prev, std::uint32_t next) {
        slots_.push_back({label, next, prev});
        return static_cast<std::uint32_t>(slots_.size() - 1);
    }

    // `n` has just been linked after `at` but shares a label with a
    // neighbour. Finds the smallest aligned range around `at`'s label whose
    // elements (with `n`) stay under the density limit, and spreads them
    // evenly over it.
    void relabelAround(std::uint32_t n, std::uint32_t at) {
        const std::uint64_t x = slots_[at].label;
        std::uint32_t first = n;  // first element of the range found so far
        std::uint32_t last = n;   // last element of the range found so far
        std::uint64_t count = 1;
        for (int k = 1; k <= kBits; ++k) {
            const std::uint64_t size = std::uint64_t{1} << k;
            const std::uint64_t base = x & ~(size - 1);
            while (slots_[first].prev != kNone && slots_[slots_[first].prev].label >= base) {
                first = slots_[first].prev;
                ++count;
            }
            // `n` still carries a label inside the range, so walking on from
            // it is sound.
            while (slots_[last].next != kNone && slots_[slots_[last].next].label - base < size) {
                last = slots_[last].next;
                ++count;
            }
            if (static_cast<double>(count) <= maxCount_[k] && count < size) {
                spread(first, count, base, size);
                return;
            }
        }
        // Unreachable for any list that fits in memory; kept for soundness.
        std::uint32_t head = n;
        while (slots_[head].prev != kNone) {
            head = slots_[head].prev;
        }
        std::uint64_t total = 0;
        for (std::uint32_t e = head; e != kNone; e = slots_[e].next) {
            ++total;
        }
        spread(head, total, 0, kUniverse);
    }

    void spread(std::uint32_t first, std::uint64_t count, std::uint64_t base, std::uint64_t size) {
        const std::uint64_t step = size / count;
        std::uint64_t label = base;
        std::uint32_t e = first;
        for (std::uint64_t i = 0; i < count; ++i) {
            slots_[e].label = label;
            label += step;
            e = slots_[e].next;
        }
    }

    // Together, as an insertion reads and writes all three of two elements.
    struct Slot {
        std::uint64_t label;
        std::uint32_t next;
        std::uint32_t prev;
    };
    ChunkedVector<Slot> slots_;  // grows without copying
    double maxCount_[kBits + 1];
};

// pid -> the earliest node with that pid in the walk's order (open
// addressing, linear probing; entries are never removed).
class PidIndex {
  public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    explicit PidIndex(std::size_t expected) {
        // Pids are few next to events in a usual log; grow when needed.
        std::size_t cap = 16;
        while (cap < expected * 2 && cap < (std::size_t{1} << 16)) {
            cap <<= 1;
        }
        keys_.resize(cap);
        values_.assign(cap, kNone);
        setCapacity(cap);
    }

    // The slot's value for `pid` (kNone when new); stays valid until the
    // next call.
    std::uint32_t& at(std::int64_t pid) {
        std::size_t i = slotOf(pid);
        if (values_[i] == kNone) {
            if ((used_ + 1) * 2 > keys_.size()) {
                grow();
                i = slotOf(pid);
            }
            keys_[i] = pid;
            ++used_;
        }
        return values_[i];
    }

    std::uint32_t find(std::int64_t pid) const { return values_[slotOf(pid)]; }
    // Asks for the memory of `pid`'s slot ahead of a look-up.
    void prefetch(std::int64_t pid) const {
        const std::size_t i = homeOf(pid);
        __builtin_prefetch(&keys_[i]);
        __builtin_prefetch(&values_[i]);
    }

  private:
    std::size_t homeOf(std::int64_t pid) const {
        const std::uint64_t h = static_cast<std::uint64_t>(pid) * 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(h >> shift_);
    }
    std::size_t slotOf(std::int64_t pid) const {
        std::size_t i = homeOf(pid);
        while (values_[i] != kNone && keys_[i] != pid) {
            i = (i + 1) & mask_;
        }
        return i;
    }

    void grow() {
        std::vector<std::int64_t> keys = std::move(keys_);
        std::vector<std::uint32_t> values = std::move(values_);
        keys_.assign(keys.size() * 2, 0);
        values_.assign(keys.size() * 2, kNone);
        setCapacity(keys_.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (values[i] != kNone) {
                const std::size_t j = slotOf(keys[i]);
                keys_[j] = keys[i];
                values_[j] = values[i];
            }
        }
    }

    void setCapacity(std::size_t cap) {
        mask_ = cap - 1;
        shift_ = 64 - std::countr_zero(static_cast<std::uint64_t>(cap));
    }

    std::vector<std::int64_t> keys_;
    std::vector<std::uint32_t> values_;
    std::size_t mask_ = 0;
    int shift_ = 64;
    std::size_t used_ = 0;
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
    OrderList order;
    PidIndex earliest{1024};

    // The tree JSON's length, kept as nodes are placed: the build then
    // writes the text without measuring the whole tree first.
    std::size_t jsonLength =
        2 + treeJsonNodeLength(root.name, 1) + treeJsonNodeLength(untracked.name, 0);

    Placement() {
        root.addChild(&untracked);
        earliest.at(root.pid) = order.addFirst();
        earliest.at(untracked.pid) = order.insertAfter(0);
    }

    void place(Node& n, const ChunkedVector<Node>& nodes) {
        std::uint32_t p = earliest.find(n.ppid);
        if (p == PidIndex::kNone) {
            p = kUntracked;
        }
        Node* parent = p >= 2 ? const_cast<Node*>(&nodes[p - 2]) : p == 0 ? &root : &untracked;
        parent->addChild(&n);
        jsonLength += treeJsonNodeLength(n.name, 0) + treeJsonChildGrowth(parent->children.size());

        const std::uint32_t h = order.insertAfter(p);
        std::uint32_t& slot = earliest.at(n.pid);
        // `n` sits right after `p`: it precedes every element that came
        // after `p`, and nothing that came before.
        if (slot == PidIndex::kNone || order.before(p, slot)) {
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
    Node& n = nodes_.emplace_back(Node::BorrowPath{}, path, pid, ppid);
    n.place = static_cast<std::int64_t>(place);
    placement_->place(n, nodes_);
}

std::size_t ProcessTree::jsonLength() const {
    return placement_->jsonLength;
}

std::optional<ProcessTree::BuiltTree> ProcessTree::build() {
    std::optional<BuiltTree> built;
    if (std::optional<std::string> json = encodeTreeJson(placement_->root, jsonLength())) {
        built = BuiltTree{std::move(*json),
                          factsWanted_ ? encodeTreeFacts(placement_->root, placesInFacts_) : std::string()};
    }
    return built;
}

}  // namespace korvantis
