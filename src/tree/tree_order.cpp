#include "tree/tree_order.h"

#include <cstddef>

namespace korvantis {

// A visit's descendants are the visits made between entering and leaving it,
// known when it is left.
TreeOrder visitInTreeOrder(const Node& root) {
    TreeOrder visits;
    struct Frame {
        const Node* node;
        std::size_t next;   // index of its next child to visit
        std::size_t visit;  // its index in `nodes`
    };
    std::vector<Frame> stack;

    auto enter = [&](const Node& n) {
        stack.push_back({&n, 0, visits.nodes.size()});
        visits.nodes.push_back(&n);
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
        const std::vector<Node*>& siblings = top.node->children;
        if (top.next + 2 < siblings.size()) {
            __builtin_prefetch(siblings[top.next + 2]);
        }
        // `top` may dangle once enter() pushes; it is not used after this.
        enter(*siblings[top.next++]);
    }
    return visits;
}

}  // namespace korvantis
