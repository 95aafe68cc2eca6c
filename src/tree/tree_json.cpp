// The tree JSON: what the tree page receives. Names and nesting only.

#include "tree/tree_json.h"

#include <cstddef>
#include <vector>

#include <simdjson.h>

#include "decode/json_text.h"

namespace korvantis {

namespace {

std::size_t childrenPartLength(std::size_t children) {
    // "}" on a leaf; ,"children":[ ... ]} with a comma between children
    return children == 0 ? 1 : 13 + (children - 1) + 2;
}

// Writes the listed nodes as nested {"name":…,"children":[…]} objects. A
// node opens its children's list when it has descendants, and the lists of
// its subtree's openers close after its last descendant: a stack of those
// last places, instead of recursion, since a chain of processes can be a
// million levels deep.
void writeNodes(const TreeOrder& order, std::string& out) {
    const std::vector<const Node*>& nodes = order.nodes;
    std::vector<std::size_t> lastOfOpen;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        // The nodes lie anywhere in memory: ask for the coming ones early.
        if (i + 16 < nodes.size()) {
            __builtin_prefetch(nodes[i + 16]);
        }
        if (i + 8 < nodes.size()) {
            __builtin_prefetch(nodes[i + 8]->name.data());
        }
        // Right after a node with descendants comes its first child;
        // after a leaf, a sibling of it or of one of its ancestors.
        if (i > 0 && order.descendants[i - 1] == 0) {
            out.push_back(',');
        }
        out += "{\"name\":";
        appendJsonString(out, nodes[i]->name, /*escapeSlash=*/true);
        if (order.descendants[i] != 0) {
            out += ",\"children\":[";
            lastOfOpen.push_back(i + order.descendants[i]);
            continue;
        }
        out.push_back('}');
        while (!lastOfOpen.empty() && lastOfOpen.back() == i) {
            out += "]}";
            lastOfOpen.pop_back();
        }
    }
}

}  // namespace

std::size_t treeJsonNodeLength(std::string_view name, std::size_t children) {
    return 8 + jsonStringLength(name, /*escapeSlash=*/true) +
           childrenPartLength(children);  // {"name":
}

std::size_t treeJsonChildGrowth(std::size_t children) {
    return childrenPartLength(children) - childrenPartLength(children - 1);
}

std::optional<std::string> encodeTreeJson(const TreeOrder& order, std::size_t exactLength) {
    std::string out;
    out.reserve(exactLength);
    out.push_back('[');
    writeNodes(order, out);
    out.push_back(']');
    // Checked once for the whole text: every name stands between ASCII
    // quotes and escaping only rewrites ASCII bytes, so the text is valid
    // UTF-8 exactly when every name is.
    if (!simdjson::validate_utf8(out.data(), out.size())) {
        return std::nullopt;
    }
    return out;
}

}  // namespace korvantis
