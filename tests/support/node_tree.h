#pragma once

// Trees made by hand, for tests: nodes that own their paths and list their
// children, and a walk that lists them in the tree page's order, the plain
// reference for a store's tree, which lists its nodes by handle.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tree/tree_facts.h"
#include "tree/tree_json.h"

namespace korvantis::testsupport {

struct TreeNode {
    TreeNode(std::string path, std::int64_t pid, std::int64_t ppid)
        : ownPath(std::make_unique<const std::string>(std::move(path))),
          node(*ownPath, pid, ppid) {}
    std::unique_ptr<const std::string> ownPath;
    Node node;
    std::vector<TreeNode*> children;  // not owned; a node may be listed under two parents
};

// Depth first; a node listed under two parents is visited, and counted, under
// each. Iterative: any depth is fine.
inline TreeOrder visitInTreeOrder(const TreeNode& root) {
    TreeOrder visits;
    struct Frame {
        const TreeNode* node;
        std::size_t next;   // its next child to visit
        std::size_t visit;  // its index in `nodes`
    };
    std::vector<Frame> stack;
    auto enter = [&](const TreeNode& n) {
        stack.push_back({&n, 0, visits.nodes.size()});
        visits.nodes.push_back(&n.node);
        visits.descendants.push_back(0);
    };
    enter(root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.node->children.size()) {
            visits.descendants[top.visit] =
                static_cast<std::uint32_t>(visits.nodes.size() - top.visit - 1);
            stack.pop_back();
            continue;
        }
        enter(*top.node->children[top.next++]);  // `top` is not used after a push
    }
    return visits;
}

}  // namespace korvantis::testsupport
