#pragma once

#include <cstddef>
#include <vector>

#include "store/event_keeper.h"
#include "store/filter_query.h"
#include "store/row_export.h"

namespace korvantis {

// The rows of both lists in the order their lines were loaded, each with its
// raw line. This is the one place that knows how the store keeps its rows:
// previews are appended in the order of the raw-line map, so walking the map
// while following both lists interleaves them by line without a lookup.
class StoreRowCursor {
  public:
    explicit StoreRowCursor(const EventKeeper& keeper) : keeper_(keeper) {}

    bool next(ExportRow& out) {
        const auto& mapping = keeper_.jsonMapping();
        const auto& procs = keeper_.procPreviews();
        const auto& files = keeper_.filePreviews();
        while (line_ < mapping.size()) {
            const auto entry = mapping.entry(line_++);
            if (proc_ < procs.size() && procs[proc_].id == entry.id) {
                const auto& p = procs[proc_++];
                out = {{true, p.type, p.timestamp, p.path, p.pid, p.ppid}, entry.text};
                return true;
            }
            if (file_ < files.size() && files[file_].id == entry.id) {
                const auto& f = files[file_++];
                out = {{false, f.type, f.timestamp, f.path, f.pid, 0}, entry.text};
                return true;
            }
        }
        return false;
    }

    static std::vector<ProcessLink> processLinks(const EventKeeper& keeper) {
        std::vector<ProcessLink> links;
        links.reserve(keeper.procPreviews().size());
        for (const auto& p : keeper.procPreviews()) {
            links.push_back({p.pid, p.ppid});
        }
        return links;
    }

  private:
    const EventKeeper& keeper_;
    std::size_t line_ = 0;
    std::size_t proc_ = 0;
    std::size_t file_ = 0;
};

}  // namespace korvantis
