#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/chunked_vector.h"
#include "store/shared_text.h"
#include "tree/node.h"
#include "tree/tree_order.h"

namespace korvantis {

// The process nodes of every load into one store, in file order, and the
// tree built from them. The loader's worker owns it: building a large tree
// takes longer than a user interface may wait.
class ProcessTree {
  public:
    ProcessTree();
    ~ProcessTree();
    ProcessTree(const ProcessTree&) = delete;
    ProcessTree& operator=(const ProcessTree&) = delete;

    // A node that refers to `path` (which must outlive the tree), placed in
    // the tree at once; `place` is its line's place among the store's lines.
    void add(std::uint64_t place, std::string_view path, std::int64_t pid, std::int64_t ppid);
    // Tells that a node with `pid` and `ppid` will be added soon: the
    // look-ups it needs are started early (on a large log each one misses
    // the processor's caches).
    void prefetch(std::int64_t pid, std::int64_t ppid) const;
    // Drops the nodes of the lines from `place` on (whose rows the store
    // could not keep) and places the others again: it also mends a
    // placement that an allocation failing part way through add() left
    // unfinished. When the memory for it cannot be had (std::bad_alloc), the
    // tree is left as it was.
    void dropFrom(std::uint64_t place);
    const ChunkedVector<Node>& nodes() const { return nodes_; }

    // The texts of a build: the tree page's JSON, and the facts of its nodes
    // in the order the JSON lists them.
    // Shared, never copied: a tree window reads them in place.
    struct BuiltTree {
        SharedText json;
        SharedText facts;
    };
    // Whether builds also encode the facts (only a tree window reads them;
    // on a large log they are twice the size of the tree JSON).
    void setFactsWanted(bool wanted) { factsWanted_ = wanted; }
    bool factsWanted() const { return factsWanted_; }
    // Whether the facts also give each node's place (see encodeTreeFacts).
    void setPlacesInFacts(bool wanted) { placesInFacts_ = wanted; }
    bool placesInFacts() const { return placesInFacts_; }
    // Encodes the tree of all nodes, arranged under "launchd" and "Untracked
    // Heritage"; nothing when it cannot be encoded.
    std::optional<BuiltTree> build();
    // The length of the JSON a build would give now, kept as nodes are
    // placed.
    std::size_t jsonLength() const;

  private:
    TreeOrder treeOrder() const;

    struct Placement;
    ChunkedVector<Node> nodes_;
    std::unique_ptr<Placement> placement_;
    bool factsWanted_ = true;
    bool placesInFacts_ = false;
};

}  // namespace korvantis
