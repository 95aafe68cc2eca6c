#include "store/row_filter.h"

#include <string>
#include <string_view>

#include "store/log_files.h"

namespace korvantis {

namespace {

// Rows between two looks at the stop flag: cheap queries pass a slice in
// well under a millisecond; raw-line queries report progress as often.
constexpr std::size_t kSlice = 4096;
constexpr std::size_t kRawSlice = 256;

template <typename Rows>
std::optional<RowNumbers> matching(const Rows& rows, const RowsSnapshot& snapshot,
                                   const FilterQuery& query, std::size_t from, std::size_t to,
                                   const FilterControl& control) {
    to = std::min(to, rows.size());
    RowNumbers out;
    if (from >= to) {
        return out;
    }
    const bool raw = query.needsRawLine();
    const std::size_t slice = raw ? kRawSlice : kSlice;
    std::optional<std::string> line;
    std::size_t lineOf = 0;
    for (std::size_t begin = from; begin < to; begin += slice) {
        if (control.stop != nullptr && control.stop->load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        if (control.progress && begin != from) {
            control.progress(begin - from);
        }
        const std::size_t end = std::min(to, begin + slice);
        for (std::size_t i = begin; i < end; ++i) {
            const FilterRow row = rows.filterRow(i);
            const bool shown =
                raw ? query.matches(row,
                                    [&]() -> std::string_view {
                                        if (lineOf != i + 1) {
                                            line = snapshot.lineText(rows.entryOf(i));
                                            lineOf = i + 1;
                                        }
                                        return line ? std::string_view(*line) : kLogChangedText;
                                    })
                    : query.matches(row);
            if (shown) {
                out.push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    return out;
}

}  // namespace

std::optional<RowNumbers> matchingRows(const ProcRowsSnapshot& rows, const RowsSnapshot& snapshot,
                                       const FilterQuery& query, std::size_t from, std::size_t to,
                                       const FilterControl& control) {
    return matching(rows, snapshot, query, from, to, control);
}

std::optional<RowNumbers> matchingRows(const FileRowsSnapshot& rows, const RowsSnapshot& snapshot,
                                       const FilterQuery& query, std::size_t from, std::size_t to,
                                       const FilterControl& control) {
    return matching(rows, snapshot, query, from, to, control);
}

}  // namespace korvantis
