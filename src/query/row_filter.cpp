#include "query/row_filter.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "store/log_files.h"

namespace korvantis {

namespace {

// Rows between two looks at the stop flag: cheap queries pass a slice in
// well under a millisecond; raw-line queries report progress as often.
constexpr std::size_t kSlice = 4096;
constexpr std::size_t kRawSlice = 256;
// At most this many parts of one run are matched side by side.
constexpr std::size_t kMaxParts = 8;

// Rows [from, to) of the list, or of `candidates` when given, on the calling
// thread. `looked` (when given) counts the rows looked at, for the part that
// reports the progress of all of them.
std::optional<RowNumbers> matchingPart(const KindRowsSnapshot& rows, const RowsSnapshot& snapshot,
                                       const FilterQuery& query, std::size_t from, std::size_t to,
                                       const std::atomic<bool>* stop,
                                       std::atomic<std::size_t>& looked, RowNumbers& unreadable,
                                       const std::function<void()>& report,
                                       const RowNumbers* candidates) {
    RowNumbers out;
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
    const FilterQuery::Extras extras = query.extras();
    const RowParts parts = query.rowParts();
    // Rows are looked at in ascending order, candidates too: their hits are
    // walked, not searched for.
    const std::size_t first = candidates && from < to ? (*candidates)[from] : from;
    KindRowsSnapshot::HitCursor hits = rows.hitsFrom(first);
    // Rows ahead whose texts are asked for: enough to cover a cache miss.
    constexpr std::size_t kAhead = 16;
    for (std::size_t begin = from; begin < to; begin += slice) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        if (report && begin != from) {
            report();
        }
        const std::size_t end = std::min(to, begin + slice);
        for (std::size_t at = begin; at < end; ++at) {
            const std::size_t i = candidates ? (*candidates)[at] : at;
            if (at + kAhead < to) {
                rows.prefetchTexts(candidates ? (*candidates)[at + kAhead] : at + kAhead);
            }
            const RowView row = snapshot.row(rows.kind(), i, extras, parts, hits);
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
        looked.fetch_add(end - begin, std::memory_order_relaxed);
    }
    return out;
}

// Rows [from, to) of the list, or of `candidates` when given. A long run is
// cut into consecutive parts matched side by side (a query keeps no state),
// their rows put together in order: a rule or filter over ten million rows
// takes a share of the time. Progress is reported from the calling thread
// only.
std::optional<RowNumbers> matching(const KindRowsSnapshot& rows, const RowsSnapshot& snapshot,
                                   const FilterQuery& query, std::size_t from, std::size_t to,
                                   const FilterControl& control,
                                   const RowNumbers* candidates = nullptr) {
    to = std::min(to, candidates ? candidates->size() : rows.size());
    if (from >= to) {
        return RowNumbers{};
    }
    const std::size_t span = to - from;
    const std::size_t partRows = std::max<std::size_t>(1, control.partRows);
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t parts =
        std::clamp<std::size_t>(span / partRows, 1, std::min(cores, kMaxParts));
    std::atomic<std::size_t> looked{0};
    const std::function<void()> report = [&] {
        if (control.progress) {
            control.progress(looked.load(std::memory_order_relaxed));
        }
    };
    std::vector<std::optional<RowNumbers>> found(parts);
    std::vector<RowNumbers> unreadable(parts);
    const auto run = [&](std::size_t part) {
        const std::size_t begin = from + span * part / parts;
        const std::size_t end = from + span * (part + 1) / parts;
        found[part] = matchingPart(rows, snapshot, query, begin, end, control.stop, looked,
                                   unreadable[part], part == 0 ? report : nullptr, candidates);
    };
    {
        std::vector<std::jthread> others;
        others.reserve(parts - 1);
        std::size_t started = 1;
        try {
            for (; started < parts; ++started) {
                others.emplace_back(run, started);
            }
        } catch (const std::system_error&) {
            // No thread to be had: the parts left are matched here.
        }
        run(0);
        for (std::size_t part = started; part < parts; ++part) {
            run(part);
        }
    }
    std::size_t total = 0;
    for (const auto& rowsOfPart : found) {
        if (!rowsOfPart) {
            return std::nullopt;
        }
        total += rowsOfPart->size();
    }
    RowNumbers out = std::move(*found[0]);
    out.reserve(total);
    for (std::size_t part = 1; part < parts; ++part) {
        out.insert(out.end(), found[part]->begin(), found[part]->end());
    }
    if (control.unreadable != nullptr) {
        for (const RowNumbers& part : unreadable) {
            control.unreadable->insert(control.unreadable->end(), part.begin(), part.end());
        }
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
