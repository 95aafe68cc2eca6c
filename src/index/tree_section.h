#pragma once

#include <optional>
#include <string_view>

namespace korvantis {

class IndexFile;
class IndexWriter;

// The process tree a log's load built, kept in its index when the log was
// the first one of its store (so the tree is the log's alone and its places
// are the log's own lines): a reopening shows it at once instead of placing
// every process again and encoding the whole tree anew.
struct KeptTree {
    std::string_view json;
    std::string_view facts;  // empty when they were not encoded
    bool withFacts = false;
    bool withPlaces = false;  // the facts give each node's place
};

void writeTreeSection(IndexWriter& writer, const KeptTree& tree);

// The tree `file` keeps, pointing into it; nothing when it keeps none or
// the section does not hold one (the tree is then built from the rows).
std::optional<KeptTree> readTreeSection(const IndexFile& file);

}  // namespace korvantis
