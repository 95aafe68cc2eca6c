#pragma once

#include <cstdint>
#include <string_view>

#include "decode/path_name.h"

namespace korvantis {

// A process of the tree. A node refers to its path without copying it: the
// text must outlive the node. The store's nodes refer to the store's own line
// texts, which saves a copy of every path of a large log. Where a node goes
// in the tree is kept by the ProcessTree, not by the node.
struct Node {
    Node(std::string_view path, std::int64_t pid, std::int64_t ppid)
        : path(path), name(lastPathComponent(path)), pid(pid), ppid(ppid) {}
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    std::string_view path;
    std::string_view name;  // lastPathComponent(path), taken once at creation
    std::int64_t pid;
    std::int64_t ppid;
    // The place of its process row's line among the store's lines; -1 for a
    // node of no line ("launchd", "Untracked Heritage").
    std::int64_t place = -1;
};

}  // namespace korvantis
