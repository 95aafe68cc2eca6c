// The tree JSON: what the tree page receives. Names and nesting only.

#include "tree/tree_json.h"

#include <cstddef>
#include <vector>

#include <simdjson.h>

#include "ingest/json_text.h"

namespace korvantis {

std::optional<std::string> encodeTreeJson(const Node& root) {
    std::string out;
    out.reserve(256);
    out.push_back('[');

    // A stack of (node, index of its next child to write) instead of
    // recursion: a chain of processes can be a million levels deep.
    struct Frame {
        const Node* node;
        std::size_t next;
    };
    std::vector<Frame> stack;

    auto open = [&](const Node& n) {
        if (!simdjson::validate_utf8(n.name.data(), n.name.size())) {
            return false;
        }
        out += "{\"name\":";
        appendJsonString(out, n.name, /*escapeSlash=*/true);
        if (n.children.empty()) {
            out.push_back('}');
        } else {
            out += ",\"children\":[";
            stack.push_back({&n, 0});
        }
        return true;
    };

    if (!open(root)) {
        return std::nullopt;
    }
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.node->children.size()) {
            out += "]}";
            stack.pop_back();
            continue;
        }
        if (top.next > 0) {
            out.push_back(',');
        }
        const Node& child = *top.node->children[top.next++];
        // `top` may dangle once open() pushes; it is not used after this.
        if (!open(child)) {
            return std::nullopt;
        }
    }
    out.push_back(']');
    return out;
}

}  // namespace korvantis
