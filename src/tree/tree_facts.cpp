// The per-node facts of the tree page, beside the tree JSON.

#include "tree/tree_facts.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ingest/json_text.h"

namespace korvantis {

namespace {

void appendNumber(std::string& out, std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// The nodes in the tree JSON's order, each with the number of its
// descendants. One walk lists the visits; a visit's descendants are the
// visits made between entering and leaving it, known when it is left.
struct Visits {
    std::vector<const Node*> order;
    std::vector<std::uint64_t> descendants;
};

Visits visitInTreeOrder(const Node& root) {
    Visits visits;
    struct Frame {
        const Node* node;
        std::size_t next;   // index of its next child to visit
        std::size_t visit;  // its index in `order`
    };
    std::vector<Frame> stack;

    auto enter = [&](const Node& n) {
        stack.push_back({&n, 0, visits.order.size()});
        visits.order.push_back(&n);
        visits.descendants.push_back(0);
    };
    enter(root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.node->children.size()) {
            visits.descendants[top.visit] = visits.order.size() - top.visit - 1;
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

void appendEntry(std::string& out, const Node& n, std::uint64_t descendants, bool places) {
    out.push_back('[');
    appendNumber(out, n.pid);
    out.push_back(',');
    appendNumber(out, n.ppid);
    out.push_back(',');
    appendJsonString(out, n.path, /*escapeSlash=*/false);
    out.push_back(',');
    appendNumber(out, static_cast<std::int64_t>(descendants));
    if (places) {
        out.push_back(',');
        appendNumber(out, n.place);
    }
    out.push_back(']');
}

}  // namespace

std::string encodeTreeFacts(const Node& root, bool places) {
    const Visits visits = visitInTreeOrder(root);
    const std::vector<const Node*>& order = visits.order;
    std::string out;
    out.reserve(order.size() * 48 + 2);
    out.push_back('[');
    for (std::size_t i = 0; i < order.size(); ++i) {
        // The nodes lie anywhere in memory: ask for the coming ones early.
        if (i + 16 < order.size()) {
            __builtin_prefetch(order[i + 16]);
        }
        if (i + 8 < order.size()) {
            __builtin_prefetch(order[i + 8]->path.data());
        }
        if (i != 0) {
            out.push_back(',');
        }
        appendEntry(out, *order[i], visits.descendants[i], places);
    }
    out.push_back(']');
    return out;
}

}  // namespace korvantis
