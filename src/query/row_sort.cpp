// Sorting rows by a field: a key per row is made first, so the sort itself
// compares small records, most often by a number alone.

#include "query/row_sort.h"

#include <algorithm>
#include <cstring>

namespace korvantis {

namespace {

// A row's place in the sort: a number that orders like its key (the whole
// key for numbers and times, the first eight bytes of a text), and the row.
struct Item {
    std::uint64_t order;
    std::uint32_t row;
};

// Signed numbers in unsigned order.
std::uint64_t numberOrder(std::int64_t value) {
    return static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << 63);
}

// The first eight bytes of a text, big-endian, zeros after its end.
std::uint64_t textOrder(std::string_view text) {
    std::uint64_t order = 0;
    const std::size_t n = std::min<std::size_t>(text.size(), 8);
    for (std::size_t i = 0; i < 8; ++i) {
        order = order << 8 | (i < n ? static_cast<unsigned char>(text[i]) : 0u);
    }
    return order;
}

// -1, 0 or 1 as `a` sorts before, with or after `b`, row aside.
int compareKeys(const Item& a, const Item& b, std::span<const SortKey> keys, bool text) {
    if (a.order != b.order) {
        return a.order < b.order ? -1 : 1;
    }
    if (!text) {
        return 0;
    }
    const std::string_view x = keys[a.row].text;
    const std::string_view y = keys[b.row].text;
    if (x.data() == y.data() && x.size() == y.size()) {
        return 0;  // the same stored text: paths are kept once
    }
    const int c = x.compare(y);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

std::vector<std::uint32_t> sortedOrder(std::span<const SortKey> keys, SortKind kind,
                                       bool descending) {
    const bool text = kind == SortKind::text;
    std::vector<Item> items;
    items.reserve(keys.size());
    std::vector<std::uint32_t> emptyRows;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const SortKey& key = keys[i];
        const auto row = static_cast<std::uint32_t>(i);
        if (key.empty) {
            emptyRows.push_back(row);
        } else {
            items.push_back({text ? textOrder(key.text) : numberOrder(key.number), row});
        }
    }
    // The row breaks ties: a total order, so an unstable sort keeps equal
    // keys in load order in both directions.
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        const int c = compareKeys(a, b, keys, text);
        if (c != 0) {
            return descending ? c > 0 : c < 0;
        }
        return a.row < b.row;
    });
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const Item& item : items) {
        order.push_back(item.row);
    }
    order.insert(order.end(), emptyRows.begin(), emptyRows.end());
    return order;
}

}  // namespace korvantis
