#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/chunked_vector.h"
#include "store/json_mapping.h"
#include "store/node.h"
#include "store/preview_entries.h"
#include "store/ranked_bits.h"
#include "store/text_arena.h"
#include "store/uuid.h"

namespace korvantis {

class LineDecoder;
namespace detail {
struct LineBatch;
}

// The published fields of the store. Observers are told, before each change
// of one of them, which one is about to change.
enum class StoreField {
    activePreview,
    activeFilePreview,
    activeEventJson,
    loadErrors,
    showErrors,
    showLegend,
    procPreviews,
    filePreviews,
};

// The one model object of a main window: everything loaded from event logs,
// the selection and its detail text, the two display switches and the
// encoded process tree. Single-threaded: every member is used on the thread
// that runs the executor's tasks, except loadJsonFile(), which may be called
// from any thread if the executor allows it.
class EventKeeper {
public:
    using Task = std::function<void()>;
    // Runs (or schedules) a task; tasks handed over must run in the order given.
    using Executor = std::function<void(Task)>;
    using Observer = std::function<void(StoreField)>;
    using ObserverId = std::uint64_t;

    // Runs every task at once, on the calling thread.
    static void runNow(Task task) { task(); }

    explicit EventKeeper(Executor executor = &EventKeeper::runNow);
    ~EventKeeper();
    EventKeeper(const EventKeeper&) = delete;
    EventKeeper& operator=(const EventKeeper&) = delete;

    ObserverId observe(Observer observer);
    void unobserve(ObserverId id);

    // Fields.
    const JsonMapping& jsonMapping() const { return jsonMapping_; }
    const std::optional<ProcPreviewEntry>& activePreview() const { return activePreview_; }
    const std::optional<FilePreviewEntry>& activeFilePreview() const { return activeFilePreview_; }
    const std::string& activeEventJson() const { return activeEventJson_; }
    const std::vector<std::string>& loadErrors() const { return loadErrors_; }
    bool showErrors() const { return showErrors_; }
    bool showLegend() const { return showLegend_; }
    const ChunkedVector<ProcPreviewEntry>& procPreviews() const { return procPreviews_; }
    const ChunkedVector<FilePreviewEntry>& filePreviews() const { return filePreviews_; }
    const std::string& jsonTreeRaw() const { return jsonTreeRaw_; }
    // Per-node facts for the tree page, in jsonTreeRaw's node order (not announced).
    const std::string& jsonTreeFacts() const { return jsonTreeFacts_; }
    const ChunkedVector<Node>& nodes() const { return nodes_; }
    static const std::array<std::string_view, 7>& monitoredFileEvents();

    // Every assignment announces a change, even when the value stays the same.
    void setShowErrors(bool value);
    void setShowLegend(bool value);

    // Loads the log at `path`: hands the load to the executor and returns.
    void loadJsonFile(std::string path);
    // Files one line (without its delimiter).
    void ingestJsonLine(std::string_view line);
    // Files one line whose bytes are not valid UTF-8: recorded as a load error
    // with each invalid sequence replaced by U+FFFD.
    void ingestInvalidLine(std::string_view bytes);
    // Arranges all nodes into the process tree and stores its JSON text.
    void buildProcessTree();
    // Makes the entry with `id` the active process or file event and sets the
    // detail text.
    void selectEvent(const Uuid& id);

    // Figures of the last finished load (for tools and benchmarks).
    struct LoadStats {
        bool opened = false;
        std::uint64_t lines = 0;
        std::uint64_t bytes = 0;
    };
    const LoadStats& lastLoadStats() const { return lastLoad_; }

private:
    void runLoad(const std::string& path);
    void announce(StoreField field);
    void dropRemovedObservers();
    // Files described lines, in order (the one filing code of loads and of
    // single lines).
    void fileLines(const detail::LineBatch& batch);

    Executor executor_;
    struct ObserverEntry {
        ObserverId id;
        Observer observer;
        bool removed = false;
    };
    // Entries stay put while they are called, whatever the observers do.
    std::vector<std::unique_ptr<ObserverEntry>> observers_;
    ObserverId nextObserverId_ = 1;
    int announcing_ = 0;            // nesting depth of announce()
    bool observersRemoved_ = false;  // entries marked removed wait to be dropped

    JsonMapping jsonMapping_;
    std::optional<ProcPreviewEntry> activePreview_;
    std::optional<FilePreviewEntry> activeFilePreview_;
    std::string activeEventJson_;
    std::vector<std::string> loadErrors_;
    bool showErrors_ = false;
    bool showLegend_ = false;
    ChunkedVector<ProcPreviewEntry> procPreviews_;
    ChunkedVector<FilePreviewEntry> filePreviews_;
    std::string jsonTreeRaw_;
    std::string jsonTreeFacts_;
    ChunkedVector<Node> nodes_;

    TextArena lines_;    // raw text of every decoded line
    TextArena strings_;  // decoded field texts that differ from their raw form
    std::unique_ptr<LineDecoder> decoder_;
    std::vector<Uuid> batchIds_;  // scratch of fileLines()
    UuidGenerator uuids_;
    LoadStats lastLoad_;

    // One bit per jsonMapping entry, in its order: whether the line made a
    // process or a file preview. Previews are appended in the same order as
    // the mapping, so an entry's rank among its kind is its preview's index:
    // selectEvent finds an entry without searching the lists or keeping a
    // second table of ids.
    RankedBits isProcEntry_;
    RankedBits isFileEntry_;
};

}  // namespace korvantis
