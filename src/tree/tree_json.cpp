// The tree JSON: what the tree page receives. Names and nesting only.

#include "tree/tree_json.h"

#include <cstddef>
#include <vector>

#include <simdjson.h>

#include "ingest/json_text.h"

namespace korvantis {

namespace {

std::size_t childrenPartLength(std::size_t children) {
    // "}" on a leaf; ,"children":[ ... ]} with a comma between children
    return children == 0 ? 1 : 13 + (children - 1) + 2;
}

// The exact length of the encoding, so that the text is made in one
// allocation: growing a text of tens of megabytes by doubling would briefly
// need half as much again.
std::size_t encodedLength(const Node& root) {
    std::size_t length = 2;  // [ ]
    std::vector<const Node*> stack{&root};
    while (!stack.empty()) {
        const Node& n = *stack.back();
        stack.pop_back();
        length += treeJsonNodeLength(n.name, n.children.size());
        stack.insert(stack.end(), n.children.begin(), n.children.end());
    }
    return length;
}

}  // namespace

std::size_t treeJsonNodeLength(std::string_view name, std::size_t children) {
    return 8 + jsonStringLength(name, /*escapeSlash=*/true) +
           childrenPartLength(children);  // {"name":
}

std::size_t treeJsonChildGrowth(std::size_t children) {
    return childrenPartLength(children) - childrenPartLength(children - 1);
}

namespace {

// Writes the tree below the root as nested {"name":…,"children":[…]}
// objects, with a stack of (node, index of its next child to write) instead
// of recursion: a chain of processes can be a million levels deep.
class TreeJsonWriter {
  public:
    explicit TreeJsonWriter(std::string& out) : out_(out) {}

    void write(const Node& root) {
        open(root);
        while (!stack_.empty()) {
            Frame& top = stack_.back();
            if (top.next == top.node->children.size()) {
                out_ += "]}";
                stack_.pop_back();
                continue;
            }
            if (top.next > 0) {
                out_.push_back(',');
            }
            prefetchSiblings(top);
            const Node& child = *top.node->children[top.next++];
            // `top` may dangle once open() pushes; it is not used after this.
            open(child);
        }
    }

  private:
    struct Frame {
        const Node* node;
        std::size_t next;
    };

    void open(const Node& n) {
        out_ += "{\"name\":";
        appendJsonString(out_, n.name, /*escapeSlash=*/true);
        if (n.children.empty()) {
            out_.push_back('}');
        } else {
            out_ += ",\"children\":[";
            stack_.push_back({&n, 0});
        }
    }

    // Siblings lie anywhere in memory: ask for the next ones early.
    static void prefetchSiblings(const Frame& top) {
        const std::vector<Node*>& siblings = top.node->children;
        if (top.next + 4 < siblings.size()) {
            __builtin_prefetch(siblings[top.next + 4]);
        }
        if (top.next + 2 < siblings.size()) {
            const Node& soon = *siblings[top.next + 2];
            __builtin_prefetch(soon.name.data());
            __builtin_prefetch(soon.children.data());
        }
    }

    std::string& out_;
    std::vector<Frame> stack_;
};

}  // namespace

std::optional<std::string> encodeTreeJson(const Node& root, std::size_t exactLength) {
    std::string out;
    out.reserve(exactLength != 0 ? exactLength : encodedLength(root));
    out.push_back('[');
    TreeJsonWriter(out).write(root);
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
