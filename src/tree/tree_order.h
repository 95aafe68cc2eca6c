#pragma once

#include <cstdint>
#include <vector>

#include "tree/node.h"

namespace korvantis {

// The nodes of a tree in the order the tree page lists them: depth first, a
// parent before its children, children in the order they were attached; each
// with the number of its descendants. The tree JSON and its facts are both
// written from it, in one pass each over a list.
struct TreeOrder {
    std::vector<const Node*> nodes;
    // 32 bits, as a store tree's handles: 2^32 listed nodes would take 48 GB.
    std::vector<std::uint32_t> descendants;
};

}  // namespace korvantis
