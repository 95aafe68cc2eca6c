// A filter's pass over one list's rows, as a filtered list's worker runs it.

#include "query/filter_pass.h"

#include <algorithm>

namespace korvantis {

namespace {

// Whether the two bindings give some tree term sets of other sizes (a set
// only grows while rows are appended).
bool treesGrew(const FilterQuery& before, const FilterQuery& now) {
    const auto& a = before.terms();
    const auto& b = now.terms();
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const std::size_t was = a[i].tree ? a[i].tree->size() : 0;
        const std::size_t is = b[i].tree ? b[i].tree->size() : 0;
        if (was != is) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<FilterPassResult> runFilterPass(const FilterPass& pass, TreeSetCache& treeSets,
                                              const std::function<void(int percent)>& progress) {
    FilterQuery query = *pass.query;
    FilterPassResult result;
    result.replace = pass.replace;
    std::size_t from = pass.from;
    const RowNumbers* candidates = pass.candidates.get();
    if (!query.treeRoots().empty()) {
        treeSets.bind(query, pass.snapshot.rows[RowKind::process]);
        if (!pass.replace && (!pass.bound || treesGrew(*pass.bound, query))) {
            // Every row again, the candidates among them.
            result.replace = true;
            from = 0;
            candidates = nullptr;
        }
    }
    const std::size_t among = candidates ? candidates->size() : 0;
    const std::size_t span = std::max<std::size_t>(1, among + pass.to - from);
    int lastPercent = -1;
    FilterControl control{pass.stop.get(), [&](std::size_t done) {
                              const int percent = static_cast<int>(done * 100 / span);
                              if (percent != lastPercent && progress) {
                                  lastPercent = percent;
                                  progress(percent);
                              }
                          }};
    control.unreadable = &result.unreadable;
    control.partRows = pass.partRows;
    std::optional<RowNumbers> rows = RowNumbers{};
    if (candidates) {
        rows = matchingRowsAmong(pass.snapshot.rows[pass.list], pass.snapshot, query, *candidates,
                                 control);
    }
    if (rows) {
        FilterControl rest = control;
        rest.progress = [&](std::size_t done) { control.progress(among + done); };
        auto more =
            matchingRows(pass.snapshot.rows[pass.list], pass.snapshot, query, from, pass.to, rest);
        if (!more) {
            return std::nullopt;
        }
        rows->insert(rows->end(), more->begin(), more->end());
    }
    if (!rows) {
        return std::nullopt;  // stopped: a newer query took over
    }
    result.rows = std::move(*rows);
    result.bound = std::make_shared<const FilterQuery>(std::move(query));
    return result;
}

}  // namespace korvantis
