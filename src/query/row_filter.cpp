#include "query/row_filter.h"

#include <string>
#include <string_view>

#include "store/log_files.h"

namespace korvantis {

namespace {

// Rows between two looks at the stop flag: cheap queries pass a slice in
// well under a millisecond; raw-line queries report progress as often.
constexpr std::size_t kSlice = 4096;
constexpr std::size_t kRawSlice = 256;

// Rows [from, to) of the list, or of `candidates` when given.
std::optional<RowNumbers> matching(const KindRowsSnapshot& rows, const RowsSnapshot& snapshot,
                                   const FilterQuery& query, std::size_t from, std::size_t to,
                                   const FilterControl& control,
                                   const RowNumbers* candidates = nullptr) {
    to = std::min(to, candidates ? candidates->size() : rows.size());
    RowNumbers out;
    if (from >= to) {
        return out;
    }
    const bool raw = query.needsRawLine();
    const std::size_t slice = raw ? kRawSlice : kSlice;
    // The rows of a list stand in log order, so their lines are read ahead in
    // blocks rather than one read each.
    std::optional<LogFiles::AheadReader> reader;
    if (raw) {
        reader.emplace(*snapshot.logs);
    }
    ReadBack<std::string_view> line;
    std::size_t lineOf = 0;
    RowNumbers unreadable;
    for (std::size_t begin = from; begin < to; begin += slice) {
        if (control.stop != nullptr && control.stop->load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        if (control.progress && begin != from) {
            control.progress(begin - from);
        }
        const std::size_t end = std::min(to, begin + slice);
        for (std::size_t at = begin; at < end; ++at) {
            const std::size_t i = candidates ? (*candidates)[at] : at;
            const RowView row = snapshot.row(rows.kind(), i);
            const RowMatch match =
                !raw ? (query.matches(row) ? RowMatch::shown : RowMatch::hidden)
                     : matchRow(query, row, [&]() -> const ReadBack<std::string_view>& {
                           if (lineOf != i + 1) {
                               line = reader->read(snapshot.refs[rows.placeOf(i).value()]);
                               lineOf = i + 1;
                           }
                           return line;
                       });
            if (match == RowMatch::shown) {
                out.push_back(static_cast<std::uint32_t>(i));
            }
            if (match == RowMatch::unreadable) {
                unreadable.push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    if (control.unreadable != nullptr) {
        control.unreadable->insert(control.unreadable->end(), unreadable.begin(), unreadable.end());
    }
    return out;
}

bool stricter(const FilterQuery::Term& newer, const FilterQuery::Term& older) {
    using Key = FilterQuery::Key;
    if (newer.key != older.key || newer.negated != older.negated ||
        (older.key == Key::field && newer.field != older.field)) {
        return false;
    }
    const FilterAs filter = older.key == Key::field ? rowField(older.field).filter : FilterAs::none;
    switch (filter) {
        case FilterAs::integer:
            return newer.number == older.number;
        // A higher rank keeps fewer rows, a lower one more.
        case FilterAs::atLeast:
            return older.negated ? newer.number <= older.number : newer.number >= older.number;
        // A row with tag `ab` need not have tag `a`: only the same item.
        case FilterAs::item:
            return newer.folded == older.folded;
        default:
            break;
    }
    switch (older.key) {
        case Key::tree:
            return false;
        // A later after: bound keeps fewer rows, an earlier one more; a value
        // typed on may name a later or an earlier moment.
        case Key::after:
            return older.negated ? newer.number <= older.number : newer.number >= older.number;
        case Key::before:
            return older.negated ? newer.number >= older.number : newer.number <= older.number;
        case Key::plain:
            // Numbers are matched by their digits only when the term could be one.
            if (newer.numeric != older.numeric) {
                return false;
            }
            [[fallthrough]];
        default:
            return older.negated ? older.folded.find(newer.folded) != std::string::npos
                                 : newer.folded.find(older.folded) != std::string::npos;
    }
}

}  // namespace

bool narrows(const FilterQuery& newer, const FilterQuery& older) {
    const auto hasTree = [](const FilterQuery& q) {
        for (const auto& t : q.terms()) {
            if (t.key == FilterQuery::Key::tree) {
                return true;
            }
        }
        return false;
    };
    if (hasTree(newer) || hasTree(older)) {
        return false;
    }
    for (const auto& o : older.terms()) {
        bool implied = false;
        for (const auto& n : newer.terms()) {
            if (stricter(n, o)) {
                implied = true;
                break;
            }
        }
        if (!implied) {
            return false;
        }
    }
    return true;
}

std::optional<RowNumbers> matchingRowsAmong(const KindRowsSnapshot& rows,
                                            const RowsSnapshot& snapshot, const FilterQuery& query,
                                            const RowNumbers& candidates,
                                            const FilterControl& control) {
    return matching(rows, snapshot, query, 0, candidates.size(), control, &candidates);
}

std::optional<RowNumbers> matchingRows(const KindRowsSnapshot& rows, const RowsSnapshot& snapshot,
                                       const FilterQuery& query, std::size_t from, std::size_t to,
                                       const FilterControl& control) {
    return matching(rows, snapshot, query, from, to, control);
}

}  // namespace korvantis
