#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "store/chunked_vector.h"
#include "store/uuid.h"

namespace korvantis {

// Map from a line's id to its raw text. Append-only; the texts are views into
// storage owned by the EventKeeper.
class JsonMapping {
  public:
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    std::optional<std::string_view> find(const Uuid& id) const;
    bool contains(const Uuid& id) const { return find(id).has_value(); }
    // Sets the text for `id` (replacing an earlier text for the same id).
    void set(const Uuid& id, std::string_view text);
    // Hints that `id` is about to be set or found, so its slot can be fetched
    // into the cache meanwhile.
    void prefetch(const Uuid& id) const {
        if (!slots_.empty()) {
            __builtin_prefetch(&slots_[UuidHash{}(id) & (slots_.size() - 1)]);
        }
    }

    struct Entry {
        Uuid id;
        std::string_view text;
    };
    // In insertion order.
    const Entry& entry(std::size_t i) const { return entries_[i]; }

  private:
    void grow();
    ChunkedVector<Entry, 8192> entries_;
    std::vector<std::uint32_t> slots_;  // open addressing; 0 = empty, else index + 1
};

}  // namespace korvantis
