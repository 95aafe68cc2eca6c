#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
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
    // Position of `id` in insertion order.
    std::optional<std::size_t> indexOf(const Uuid& id) const;
    bool contains(const Uuid& id) const { return find(id).has_value(); }
    // Adds a text under an id just made by a random generator, which no
    // entry can hold yet: no entry is looked at, only free slots are sought.
    void insertFresh(const Uuid& id, std::string_view text);
    // Hints that `id` is about to be set or found, so its slot can be fetched
    // into the cache meanwhile.
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
        std::string_view text;
    };
    // In insertion order. Returned by value: entries are stored packed.
    Entry entry(std::size_t i) const {
        return Entry{entries_[i].id, textOf(i)};
    }

  private:
    // An entry in 24 bytes instead of 32: the text's address (user-space
    // addresses fit in 48 bits) and its length, when below kLongText, share
    // one word; any other text is kept whole in `unpacked_`, by entry index.
    struct Packed {
        Uuid id;
        std::uint64_t ref;
    };
    static constexpr std::uint64_t kLongText = 0xffff;

    static std::uint64_t pack(std::string_view text);
    std::string_view textOf(std::size_t i) const;
    void store(std::size_t i, std::string_view text);
    void grow();

    ChunkedVector<Packed, 8192> entries_;
    std::vector<std::uint32_t> slots_;  // open addressing; 0 = empty, else index + 1
    std::unordered_map<std::size_t, std::string_view> unpacked_;
};

}  // namespace korvantis
