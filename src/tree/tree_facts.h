#pragma once

#include <string>

#include "tree/node.h"
#include "tree/tree_order.h"

namespace korvantis {

// What the tree page shows about each node besides its name, as one JSON
// array with an entry [pid, ppid, "path", descendants] per node, in the order
// in which encodeTreeJson writes the nodes (depth first, parent before its
// children, children in list order). The page pairs the two by that order, so
// the tree JSON itself stays names and nesting only.
//
// A node listed under two parents is written, and counted, under each. Paths
// are copied byte for byte (escaped as JSON needs); the text is UTF-8 exactly
// when every path is. Iterative: any depth is fine.
//
// With `places`, each entry ends with the node's line's place among the
// store's lines, [pid, ppid, "path", descendants, place] (-1 for a node of no
// line, such as "launchd"), by which the page asks for more about a node.
std::string encodeTreeFacts(const Node& root, bool places = false);
// The same, of a tree already listed in order.
std::string encodeTreeFacts(const TreeOrder& order, bool places);

}  // namespace korvantis
