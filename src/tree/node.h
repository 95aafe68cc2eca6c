#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ingest/path_name.h"
#include "store/uuid.h"

namespace korvantis {

// A process node. Nodes made by loading are owned by the ProcessTree's node
// list; `children` refers to nodes owned elsewhere (the store, or a tree build
// for its two fixed nodes), and `parent` never owns.
class Node {
  public:
    // A node that keeps its own copy of `path`.
    Node(Uuid uid, std::string path, std::int64_t pid, std::int64_t ppid);
    // A node that refers to `path` without copying it: the text must outlive
    // the node. The store's nodes refer to the store's own line texts, which
    // saves a copy of every path of a large log.
    struct BorrowPath {};
    Node(BorrowPath, Uuid uid, std::string_view path, std::int64_t pid, std::int64_t ppid);
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    Uuid uid;
    std::string_view path;
    std::string_view name;  // lastPathComponent(path), taken once at creation
    std::int64_t pid;
    std::int64_t ppid;
    std::vector<Node*> children;  // in attach order
    Node* parent = nullptr;

    // Appends `child` unless a node with the same uid is already a child.
    void addChild(Node* child);
    // First node with `pid` in this subtree: this node, then each child's
    // subtree from the last child to the first, depth first. Iterative.
    Node* findNode(std::int64_t pid);

    // Nodes are equal when their uids are.
    bool operator==(const Node& other) const { return uid == other.uid; }

  private:
    std::unique_ptr<const std::string> ownPath_;  // only for nodes that copy their path
};

}  // namespace korvantis
