#pragma once

#include <string>

#include "tree/tree_order.h"

namespace korvantis {

// What the tree page shows about each node besides its name, as one JSON
// array with an entry [pid, ppid, "path", descendants] per node of `order`,
// the order in which encodeTreeJson writes them. The page pairs the two by
// that order, so the tree JSON itself stays names and nesting only. Paths are
// copied byte for byte (escaped as JSON needs); the text is UTF-8 exactly
// when every path is.
//
// With `places`, each entry ends with the node's line's place among the
// store's lines, [pid, ppid, "path", descendants, place] (-1 for a node of no
// line, such as "launchd"), by which the page asks for more about a node.
std::string encodeTreeFacts(const TreeOrder& order, bool places = false);

}  // namespace korvantis
