#include "index/tree_section.h"

#include "index/index_file.h"
#include "index/index_writer.h"

namespace korvantis {

namespace {

constexpr std::string_view kTreeSection = "process-tree";
constexpr std::uint64_t kWithFacts = 1;
constexpr std::uint64_t kWithPlaces = 2;

}  // namespace

// Flags, the JSON's length, the JSON, then the facts to the section's end.
void writeTreeSection(IndexWriter& writer, const KeptTree& tree) {
    writer.beginSection(kTreeSection);
    writer.appendU64((tree.withFacts ? kWithFacts : 0) | (tree.withPlaces ? kWithPlaces : 0));
    writer.appendU64(tree.json.size());
    writer.append(tree.json);
    writer.append(tree.withFacts ? tree.facts : std::string_view());
    writer.endSection();
}

std::optional<KeptTree> readTreeSection(const IndexFile& file) {
    const auto section = file.section(kTreeSection);
    if (!section) {
        return std::nullopt;
    }
    SectionReader reader(*section);
    const auto flags = reader.u64();
    const auto jsonLength = reader.u64();
    if (!flags || !jsonLength || (*flags & ~(kWithFacts | kWithPlaces)) != 0) {
        return std::nullopt;
    }
    const auto json = reader.bytes(*jsonLength);
    // A tree is never empty: it has its roots at least.
    if (!json || json->empty()) {
        return std::nullopt;
    }
    KeptTree tree;
    tree.json = *json;
    tree.facts = *reader.bytes(reader.left());
    tree.withFacts = (*flags & kWithFacts) != 0;
    tree.withPlaces = (*flags & kWithPlaces) != 0;
    if (!tree.withFacts && !tree.facts.empty()) {
        return std::nullopt;
    }
    return tree;
}

}  // namespace korvantis
