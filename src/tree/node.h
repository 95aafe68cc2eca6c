#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ingest/path_name.h"

namespace korvantis {

// A process node. Nodes made by loading are owned by the ProcessTree's node
// list and its two fixed nodes by the tree itself; `children` refer to nodes
// and never own them.
class Node {
  public:
    // A node that keeps its own copy of `path`.
    Node(std::string path, std::int64_t pid, std::int64_t ppid);
    // A node that refers to `path` without copying it: the text must outlive
    // the node. The store's nodes refer to the store's own line texts, which
    // saves a copy of every path of a large log.
    struct BorrowPath {};
    Node(BorrowPath, std::string_view path, std::int64_t pid, std::int64_t ppid);
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    std::string_view path;
    std::string_view name;  // lastPathComponent(path), taken once at creation
    std::int64_t pid;
    std::int64_t ppid;
    // The place of its process row's line among the store's lines; -1 for a
    // node of no line ("launchd", "Untracked Heritage", hand-made trees).
    std::int64_t place = -1;
    // In attach order, in a tree made of nodes (see visitInTreeOrder). A
    // store's tree places its nodes by handle and leaves these empty.
    std::vector<Node*> children;

    void addChild(Node* child) { children.push_back(child); }

  private:
    std::unique_ptr<const std::string> ownPath_;  // only for nodes that copy their path
};

}  // namespace korvantis
