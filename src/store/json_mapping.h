#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "store/chunked_vector.h"
#include "store/line_ref.h"
#include "store/uuid.h"

namespace korvantis {

// Map from a line's id to where its raw text lies in its log. Append-only;
// the text itself is read again from the log when it is needed.
class JsonMapping {
  public:
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    std::optional<LineRef> find(const Uuid& id) const;
    // Position of `id` in insertion order.
    std::optional<std::size_t> indexOf(const Uuid& id) const;
    bool contains(const Uuid& id) const { return indexOf(id).has_value(); }
    // Adds a line under an id just made by a random generator, which no
    // entry can hold yet: no entry is looked at, only free slots are sought.
    void insertFresh(const Uuid& id, const LineRef& ref);
    // Hints that `id` is about to be inserted or found, so its slot can be
    // fetched into the cache meanwhile.
    void prefetch(const Uuid& id) const {
        if (slots_.empty()) {
            return;
        }
        const std::uint32_t* slot = &slots_[UuidHash{}(id) & (slots_.size() - 1)];
#if defined(__x86_64__) || defined(__i386__)
        // GCC 12 drops a __builtin_prefetch of a vector element here as if
        // it did nothing; the instruction itself is kept.
        asm volatile("prefetcht0 %0" : : "m"(*slot));
#else
        __builtin_prefetch(slot);
#endif
    }

    struct Entry {
        Uuid id;
        LineRef ref;
    };
    // In insertion order.
    const Entry& entry(std::size_t i) const {
        return entries_[i];
    }

  private:
    void grow();

    ChunkedVector<Entry, 8192> entries_;
    std::vector<std::uint32_t> slots_;  // open addressing; 0 = empty, else index + 1
};

}  // namespace korvantis
