#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tree/tree_order.h"

namespace korvantis {

// The tree JSON of the nodes of `order`: "[" + the first node's object + "]",
// compact, members "name" then "children" (no "children" on a leaf). Nothing
// when a name is not valid UTF-8. Any depth is fine. `exactLength` is the
// length of the result when the caller has kept count (see
// treeJsonNodeLength), so that the text is made in one allocation; 0 lets it
// grow.
std::optional<std::string> encodeTreeJson(const TreeOrder& order, std::size_t exactLength = 0);

// What a node named `name` with `children` children writes into the tree
// JSON itself (its subtrees aside); the whole text is 2 more than the sum
// over all nodes.
std::size_t treeJsonNodeLength(std::string_view name, std::size_t children);
// What a node's own part grows by when it gets its `children`-th child.
std::size_t treeJsonChildGrowth(std::size_t children);

}  // namespace korvantis
