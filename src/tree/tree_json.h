#pragma once

#include <optional>
#include <string>

#include "store/node.h"

namespace korvantis {

// The tree JSON of `root` and everything under it: "[" + root object + "]",
// compact, members "name" then "children" (no "children" on a leaf).
// Nothing when a name is not valid UTF-8. Iterative: any depth is fine.
std::optional<std::string> encodeTreeJson(const Node& root);

}  // namespace korvantis
