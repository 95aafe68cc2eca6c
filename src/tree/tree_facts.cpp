// The per-node facts of the tree page, beside the tree JSON.

#include "tree/tree_facts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "decode/decimal_text.h"
#include "decode/json_text.h"

namespace korvantis {

namespace {

void appendEntry(std::string& out, const Node& n, std::uint64_t descendants, bool places) {
    out.push_back('[');
    appendDecimal(out, n.pid);
    out.push_back(',');
    appendDecimal(out, n.ppid);
    out.push_back(',');
    appendJsonString(out, n.path, /*escapeSlash=*/false);
    out.push_back(',');
    appendDecimal(out, static_cast<std::int64_t>(descendants));
    if (places) {
        out.push_back(',');
        appendDecimal(out, n.place);
    }
    out.push_back(']');
}

}  // namespace

std::string encodeTreeFacts(const TreeOrder& visits, bool places) {
    const std::vector<const Node*>& order = visits.nodes;
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
