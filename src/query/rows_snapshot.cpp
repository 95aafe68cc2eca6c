#include "query/rows_snapshot.h"

#include <algorithm>

namespace korvantis {

RowsSnapshot RowsSnapshot::of(const EventStore& store, const PerKind<std::size_t>& counts) {
    RowsSnapshot s;
    for (const RowKind kind : kRowKinds) {
        s.rows[kind] = store.rows(kind).snapshot(counts[kind]);
    }
    s.refs = store.lineRefs().refsSnapshot(store.lineRefs().size());
    s.logs = store.sharedLogFiles();
    s.outcomes = store.lifetimes().outcomes(s.rows[RowKind::process].size());
    s.marks = store.markedLines();
    return s;
}

RowsSnapshot RowsSnapshot::of(const EventStore& store, RowKind kind, std::size_t count) {
    PerKind<std::size_t> counts{};
    counts[kind] = count;
    return of(store, counts);
}

RowsSnapshot RowsSnapshot::of(const EventStore& store) {
    PerKind<std::size_t> counts{};
    for (const RowKind kind : kRowKinds) {
        counts[kind] = store.rows(kind).size();
    }
    return of(store, counts);
}

LineRead RowsSnapshot::lineText(LinePlace entry) const {
    if (entry.value() >= refs.size() || !logs) {
        LineRead none;
        none.failure.kind = ReadFailure::Kind::changed;
        return none;
    }
    return logs->read(refs[entry.value()]);
}

std::vector<ProcessLink> processLinks(const KindRowsSnapshot& procs) {
    std::vector<ProcessLink> links;
    links.reserve(procs.size());
    for (std::size_t i = 0; i < procs.size(); ++i) {
        const RowView row = procs.rowViewWithoutHits(i, RowPart::numbers);
        links.push_back({row.pid, row.ppid});
    }
    return links;
}

}  // namespace korvantis
