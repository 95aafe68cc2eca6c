// Which marks apply to which rows of a store.

#include "investigation/row_marks.h"

#include <algorithm>

namespace korvantis {

RowMarks::RowMarks(const EventStore& store, const StoreLineNumbers& lines, const MarkBook& book) {
    const LogFiles& logs = store.logFiles();
    for (std::uint32_t log = 0; log < logs.size(); ++log) {
        realPaths_.push_back(realLogPath(logs.path(log)));
        const std::string& real = realPaths_.back();
        // A log loaded twice is marked once, on its first load.
        const LogMarks* marks = real.empty() ? nullptr : book.find(real);
        if (marks == nullptr ||
            std::find(realPaths_.begin(), realPaths_.end() - 1, real) != realPaths_.end() - 1) {
            continue;
        }
        std::size_t detached = 0;
        for (const auto& [place, text] : *marks) {
            const std::optional<LinePlace> entry = lines.entryAt(log, place.line);
            if (entry && store.lineRefs().ref(*entry).checksum == place.checksum) {
                marked_.emplace_back(*entry, &text);
            } else {
                ++detached;
            }
        }
        if (detached > 0) {
            detached_.push_back({log, detached});
        }
    }
    // Marks come by log and line, and so do stored lines.
    std::sort(marked_.begin(), marked_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
}

const MarkText* RowMarks::at(LinePlace entry) const {
    const auto it = std::lower_bound(marked_.begin(), marked_.end(), entry,
                                     [](const auto& m, LinePlace e) { return m.first < e; });
    return it != marked_.end() && it->first == entry ? it->second : nullptr;
}

}  // namespace korvantis
