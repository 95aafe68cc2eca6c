// A whole load of an arbitrary file: every line accounted for, the tree JSON
// well formed with one object per node, its URL read back byte for byte, the
// detail text of the loaded events, and a second load of the same file (a
// build over nodes that earlier builds already arranged). A gzip or zstd
// copy loads alike; compressed data of any shape loads the lines it decodes
// to, and the one load error of a failure.

#include <cstdint>
#include <string>

#include <simdjson.h>

#include "decode/json_text.h"
#include "describe/pretty_json.h"
#include "fuzz_support.h"
#include "input/stream_reader.h"
#include "input/text_source.h"
#include "support/accounting.h"
#include "support/compressed_copies.h"
#include "support/loading.h"
#include "tree/tree_url.h"

using namespace korvantis;

namespace {

std::size_t countNodeObjects(std::string_view treeJson) {
    // A quotation mark inside a JSON string is escaped, so this opening can
    // only be the start of a node object.
    constexpr std::string_view kOpen = "{\"name\":";
    std::size_t count = 0;
    for (std::size_t at = treeJson.find(kOpen); at != std::string_view::npos;
         at = treeJson.find(kOpen, at + 1)) {
        ++count;
    }
    return count;
}

// The tree JSON as the plain walk defines it: each node, in list order, goes
// under the first node with its ppid met searching from the root (a node
// first, then its children's subtrees from the last child to the first), or
// under "Untracked Heritage" when there is none.
std::string referenceTree(const Workspace& ws) {
    struct Ref {
        std::string_view name;
        std::int64_t pid;
        std::vector<std::size_t> children;
    };
    std::vector<Ref> refs{{"launchd", 1, {1}}, {"Untracked Heritage", 0, {}}};
    for (const Node& n : ws.loader.processTree().nodes()) {
        std::size_t parent = 1;
        std::vector<std::size_t> stack{0};
        while (!stack.empty()) {
            const std::size_t at = stack.back();
            stack.pop_back();
            if (refs[at].pid == n.ppid) {
                parent = at;
                break;
            }
            stack.insert(stack.end(), refs[at].children.begin(), refs[at].children.end());
        }
        refs.push_back({n.name, n.pid, {}});
        refs[parent].children.push_back(refs.size() - 1);
    }
    std::string out = "[";
    auto write = [&](auto& self, std::size_t at) -> void {
        out += "{\"name\":";
        appendJsonString(out, refs[at].name, true);
        if (!refs[at].children.empty()) {
            out += ",\"children\":[";
            for (std::size_t i = 0; i < refs[at].children.size(); ++i) {
                if (i > 0) {
                    out += ',';
                }
                self(self, refs[at].children[i]);
            }
            out += ']';
        }
        out += '}';
    };
    write(write, 0);
    return out + "]";
}

void checkTree(const Workspace& ws, bool firstBuild) {
    const std::string tree(ws.store.jsonTreeRaw());
    const std::size_t nodes = ws.loader.processTree().nodes().size();
    static simdjson::dom::parser parser = [] {
        simdjson::dom::parser p;
        FUZZ_CHECK(!p.allocate(1 << 20, 1 << 20));
        return p;
    }();
    simdjson::dom::element doc;
    FUZZ_CHECK(!parser.parse(tree).get(doc), "the tree JSON does not parse: %s", tree.c_str());
    FUZZ_CHECK(doc.is_array() && doc.get_array().value().size() == 1);
    FUZZ_CHECK(tree.starts_with("[{\"name\":\"launchd\",\"children\":["));
    const std::size_t objects = countNodeObjects(tree);
    if (firstBuild) {
        // The first build places every node exactly once.
        FUZZ_CHECK(objects == nodes + 2, "%zu node objects for %zu nodes", objects, nodes);
    } else {
        FUZZ_CHECK(objects >= nodes + 2);
    }
    // Small inputs make small trees: compare with the plain walk.
    if (firstBuild && nodes <= 2000) {
        FUZZ_CHECK(tree == referenceTree(ws), "the tree differs from the plain walk's: %s",
                   tree.c_str());
    }
    const auto back = readTreeUrl(makeTreeUrlText(tree));
    FUZZ_CHECK(back && *back == tree);
}

// The lines a load of the scratch file reads, a failure as one more line.
std::string decodedLines() {
    auto reader = StreamReader::open(fuzz::ScratchFile::instance().path(), "\n");
    FUZZ_CHECK(reader, "a regular file must open");
    std::string text;
    while (auto run = reader->nextLines()) {
        text += *run;
    }
    if (auto failure = reader->failure()) {
        text += *failure + "\n";
    }
    return text;
}

// Loads the scratch file and accounts for `lines` as what it holds.
void checkLoad(const std::string& lines, const char* what) {
    testsupport::LoadingWorkspace loading;
    loading.load(fuzz::ScratchFile::instance().path());
    const std::string account = testsupport::checkAccounting(lines, loading.ws);
    FUZZ_CHECK(account.empty(), "%s: %s", what, account.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file = fuzz::asText(data, size);
    auto& scratch = fuzz::ScratchFile::instance();
    scratch.write(file);
    if (compressionOf(file.substr(0, kCompressionMagicSize)) != Compression::none) {
        checkLoad(decodedLines(), "compressed data");
        return 0;
    }

    testsupport::LoadingWorkspace loading;
    const Workspace& ws = loading.ws;
    loading.load(scratch.path());
    const std::string first = testsupport::checkAccounting(file, ws);
    FUZZ_CHECK(first.empty(), "first load: %s", first.c_str());
    checkTree(ws, true);

    // The detail text of the first process event and the first file event.
    EventSelection& selection = loading.ws.selection;
    for (const RowKind kind : {RowKind::process, RowKind::file}) {
        const auto& rows = ws.store.rows(kind);
        if (rows.empty()) {
            continue;
        }
        const LinePlace place = rows.placeOf(0);
        selection.selectEvent(place);
        const auto& active = selection.activeRow(kind);
        FUZZ_CHECK(active && active->place == place && active->row == rows[0]);
        FUZZ_CHECK(selection.activeEventJson() == prettyPrintedJson(*ws.store.lineText(place)));
    }

    const testsupport::StoreSizes before = testsupport::storeSizes(ws);
    loading.load(scratch.path());
    const std::string second = testsupport::checkAccounting(file, ws, before);
    FUZZ_CHECK(second.empty(), "second load: %s", second.c_str());
    checkTree(ws, false);

    const std::string copy = size % 2 == 0 ? testsupport::gzipped(file, 6, 1 + size % 53)
                                           : testsupport::zstdCompressed(file, 3, size % 3 * 40);
    scratch.write(copy);
    checkLoad(std::string(file), "compressed copy");
    return 0;
}
