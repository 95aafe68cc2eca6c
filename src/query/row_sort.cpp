// Sorting rows by a field: a key per row is made first, so the sort itself
// compares numbers: the keys themselves, or the ranks of the distinct texts.

#include "query/row_sort.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace korvantis {

namespace {

// A row's place in the sort: a number that orders like its key, and the row.
struct Item {
    std::uint64_t order;
    std::uint32_t row;
};

// Signed numbers in unsigned order.
std::uint64_t numberOrder(std::int64_t value) {
    return static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << 63);
}

// The rank of each row's text among the distinct texts (equal texts, equal
// ranks), and how many ranks there are. Rows share few texts (a store keeps
// each path once), so the texts are told apart by where they are stored and
// only the distinct ones are compared byte by byte.
std::uint32_t textRanks(std::span<const SortKey> keys, const std::vector<std::uint32_t>& rows,
                        std::vector<std::uint32_t>& ranks) {
    std::size_t size = 16;
    while (size < rows.size() * 2) {
        size *= 2;
    }
    constexpr std::uint32_t kFree = UINT32_MAX;
    std::vector<std::uint32_t> slots(size, kFree);  // a distinct text's index
    std::vector<std::string_view> distinct;
    ranks.resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string_view text = keys[rows[i]].text;
        const auto hash = (reinterpret_cast<std::uintptr_t>(text.data()) ^ text.size() << 48) *
                          0x9E3779B97F4A7C15ull;
        std::size_t slot = hash >> 20 & (size - 1);
        while (slots[slot] != kFree) {
            const std::string_view seen = distinct[slots[slot]];
            if (seen.data() == text.data() && seen.size() == text.size()) {
                break;
            }
            slot = (slot + 1) & (size - 1);
        }
        if (slots[slot] == kFree) {
            slots[slot] = static_cast<std::uint32_t>(distinct.size());
            distinct.push_back(text);
        }
        ranks[i] = slots[slot];
    }
    std::vector<std::uint32_t> byText(distinct.size());
    for (std::uint32_t d = 0; d < byText.size(); ++d) {
        byText[d] = d;
    }
    std::sort(byText.begin(), byText.end(),
              [&](std::uint32_t a, std::uint32_t b) { return distinct[a] < distinct[b]; });
    std::vector<std::uint32_t> rankOf(distinct.size());
    std::uint32_t rank = 0;
    for (std::size_t d = 0; d < byText.size(); ++d) {
        if (d > 0 && distinct[byText[d]] != distinct[byText[d - 1]]) {
            ++rank;
        }
        rankOf[byText[d]] = rank;
    }
    for (std::uint32_t& r : ranks) {
        r = rankOf[r];
    }
    return distinct.empty() ? 0 : rank + 1;
}

// Rows by text rank, in load order within a rank: a counting sort.
void sortByText(std::span<const SortKey> keys, const std::vector<std::uint32_t>& rows,
                bool descending, std::vector<std::uint32_t>& order) {
    std::vector<std::uint32_t> ranks;
    const std::uint32_t count = textRanks(keys, rows, ranks);
    if (descending) {
        for (std::uint32_t& r : ranks) {
            r = count - 1 - r;
        }
    }
    std::vector<std::uint32_t> start(static_cast<std::size_t>(count) + 1, 0);
    for (const std::uint32_t r : ranks) {
        ++start[r + 1];
    }
    for (std::size_t r = 0; r < count; ++r) {
        start[r + 1] += start[r];
    }
    const std::size_t base = order.size();
    order.resize(base + rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        order[base + start[ranks[i]]++] = rows[i];
    }
}

void sortByNumber(std::span<const SortKey> keys, const std::vector<std::uint32_t>& rows,
                  bool descending, std::vector<std::uint32_t>& order) {
    std::vector<Item> items;
    items.reserve(rows.size());
    for (const std::uint32_t row : rows) {
        items.push_back({numberOrder(keys[row].number), row});
    }
    // The row breaks ties: a total order, so an unstable sort keeps equal
    // keys in load order in both directions.
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.order != b.order) {
            return descending ? a.order > b.order : a.order < b.order;
        }
        return a.row < b.row;
    });
    for (const Item& item : items) {
        order.push_back(item.row);
    }
}

}  // namespace

std::vector<std::uint32_t> sortedOrder(std::span<const SortKey> keys, SortKind kind,
                                       bool descending) {
    std::vector<std::uint32_t> valued;
    std::vector<std::uint32_t> emptyRows;
    valued.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        (keys[i].empty ? emptyRows : valued).push_back(static_cast<std::uint32_t>(i));
    }
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    if (kind == SortKind::text) {
        sortByText(keys, valued, descending, order);
    } else {
        sortByNumber(keys, valued, descending, order);
    }
    order.insert(order.end(), emptyRows.begin(), emptyRows.end());
    return order;
}

}  // namespace korvantis
