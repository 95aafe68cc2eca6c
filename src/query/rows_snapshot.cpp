#include "query/rows_snapshot.h"

#include <algorithm>

namespace korvantis {

RowsSnapshot RowsSnapshot::of(const EventStore& store, std::size_t procCount, std::size_t fileCount,
                              std::size_t otherCount) {
    RowsSnapshot s;
    s.procs = store.procPreviews().snapshot(std::min(procCount, store.procPreviews().size()));
    s.files = store.filePreviews().snapshot(std::min(fileCount, store.filePreviews().size()));
    s.others = store.otherPreviews().snapshot(std::min(otherCount, store.otherPreviews().size()));
    s.refs = store.lineRefs().refsSnapshot(store.lineRefs().size());
    s.logs = store.sharedLogFiles();
    s.outcomes = store.lifetimes().outcomes(s.procs.size());
    return s;
}

RowsSnapshot RowsSnapshot::of(const EventStore& store) {
    return of(store, store.procPreviews().size(), store.filePreviews().size(),
              store.otherPreviews().size());
}

LineRead RowsSnapshot::lineText(LinePlace entry) const {
    if (entry.value() >= refs.size() || !logs) {
        LineRead none;
        none.failure.kind = ReadFailure::Kind::changed;
        return none;
    }
    return logs->read(refs[entry.value()]);
}

std::vector<ProcessLink> processLinks(const ProcRowsSnapshot& procs) {
    std::vector<ProcessLink> links;
    links.reserve(procs.size());
    for (std::size_t i = 0; i < procs.size(); ++i) {
        const RowView row = procs.rowView(i);
        links.push_back({row.pid, row.ppid});
    }
    return links;
}

}  // namespace korvantis
