#pragma once

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "store/row_view.h"
#include "store/store_index.h"

namespace korvantis {

// The tags and note of each marked stored line, as a window's marks apply
// to the lines loaded now, by stored line ascending. Made anew when a mark
// changes and shared, unchanged, with the workers that filter, sort and
// export rows, so that `tag:` and `note:` see what the window shows. The
// texts are the store's own (never freed while it lives), so a row read
// before a change keeps valid texts.
class MarkedLines {
  public:
    struct Line {
        LinePlace entry;
        std::string_view tags;
        std::string_view note;
    };

    // `lines` by entry, ascending.
    explicit MarkedLines(std::vector<Line> lines) : lines_(std::move(lines)) {}

    std::size_t size() const { return lines_.size(); }
    // Gives `row`, the row of stored line `entry`, the tags and note of its mark.
    void apply(LinePlace entry, RowView& row) const {
        const auto it = std::lower_bound(lines_.begin(), lines_.end(), entry,
                                         [](const Line& l, LinePlace e) { return l.entry < e; });
        if (it != lines_.end() && it->entry == entry) {
            row.tags = it->tags;
            row.note = it->note;
        }
    }

  private:
    std::vector<Line> lines_;
};

}  // namespace korvantis
