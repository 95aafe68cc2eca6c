#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

namespace korvantis {

namespace detail {

template <typename Key, typename Value>
struct ProbedSlot {
    Key key;
    Value value;
};

template <typename Key>
struct ProbedSlot<Key, void> {
    Key key;
};

struct NoValue {};

}  // namespace detail

// A hash table over integer keys that are never removed: open addressing
// with linear probing in one array of slots (key beside value, so one cache
// line answers most look-ups), at most half full, doubled when it would be
// more. Value void makes it a set.
//
// A free slot holds the key kFree; the one key equal to kFree is kept
// aside. References to values stay valid until the next insert.
template <typename Key, typename Value = void>
class LinearProbingTable {
    static_assert(std::is_integral_v<Key>);
    static constexpr bool kIsMap = !std::is_void_v<Value>;
    using Slot = detail::ProbedSlot<Key, Value>;
    using Stored = std::conditional_t<kIsMap, Value, detail::NoValue>;

  public:
    static constexpr Key kFree = std::numeric_limits<Key>::min();

    // Room for `expected` keys before the first growth.
    explicit LinearProbingTable(std::size_t expected = 0) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) {
            capacity *= 2;
        }
        resize(capacity);
    }

    std::size_t size() const { return size_; }
    // Forgets every key; the room stays.
    void clear() {
        Slot free{};
        free.key = kFree;
        std::fill(slots_.begin(), slots_.end(), free);
        stored_ = 0;
        size_ = 0;
        hasFreeKey_ = false;
    }

    bool contains(Key key) const {
        return key == kFree ? hasFreeKey_ : slots_[slotOf(key)].key == key;
    }

    // The value of `key`, or null when it is absent.
    const Stored* find(Key key) const requires kIsMap {
        if (key == kFree) {
            return hasFreeKey_ ? &freeKeyValue_ : nullptr;
        }
        const Slot& slot = slots_[slotOf(key)];
        return slot.key == key ? &slot.value : nullptr;
    }

    Stored* find(Key key) requires kIsMap {
        return const_cast<Stored*>(std::as_const(*this).find(key));
    }

    // Adds `key` with `value` unless present; the key's value, and whether
    // it was added.
    std::pair<Stored&, bool> insert(Key key, Stored value) requires kIsMap {
        const auto [slot, added] = claim(key);
        Stored& stored = slot ? slot->value : freeKeyValue_;
        if (added) {
            stored = std::move(value);
        }
        return {stored, added};
    }

    // Adds `key` unless present; whether it was added.
    bool insert(Key key) requires(!kIsMap) { return claim(key).second; }

    // Room for `keys` keys in all, so that inserts up to there allocate
    // nothing (and cannot fail).
    void reserve(std::size_t keys) {
        std::size_t capacity = slots_.size();
        while (keys * 2 > capacity) {
            capacity *= 2;
        }
        if (capacity != slots_.size()) {
            rehash(capacity);
        }
    }

    // Asks for the memory of `key`'s slot ahead of a look-up.
    void prefetch(Key key) const { __builtin_prefetch(&slots_[homeOf(key)]); }

  private:
    std::size_t homeOf(Key key) const { return homeOf(key, shift_); }
    static std::size_t homeOf(Key key, int shift) {
        // Fibonacci hashing: the product's top bits mix every bit of the key.
        const std::uint64_t h = static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(h >> shift);
    }

    // The slot holding `key`, or the free slot where it would go.
    std::size_t slotOf(Key key) const {
        std::size_t i = homeOf(key);
        while (slots_[i].key != key && slots_[i].key != kFree) {
            i = (i + 1) & mask_;
        }
        return i;
    }

    // `key`'s slot (null for kFree), and whether the key is new.
    std::pair<Slot*, bool> claim(Key key) {
        if (key == kFree) {
            const bool added = !hasFreeKey_;
            hasFreeKey_ = true;
            size_ += added ? 1 : 0;
            return {nullptr, added};
        }
        std::size_t i = slotOf(key);
        if (slots_[i].key == key) {
            return {&slots_[i], false};
        }
        if ((stored_ + 1) * 2 > slots_.size()) {
            grow();
            i = slotOf(key);
        }
        slots_[i].key = key;
        ++stored_;
        ++size_;
        return {&slots_[i], true};
    }

    void grow() { rehash(slots_.size() * 2); }

    // The new slots are made before the old ones are given up: when the
    // memory cannot be had, the table stays as it was.
    void rehash(std::size_t capacity) {
        Slot free{};
        free.key = kFree;
        std::vector<Slot> fresh(capacity, free);
        const std::size_t mask = capacity - 1;
        const int shift = shiftFor(capacity);
        for (Slot& slot : slots_) {
            if (slot.key != kFree) {
                std::size_t i = homeOf(slot.key, shift);
                while (fresh[i].key != kFree) {
                    i = (i + 1) & mask;
                }
                fresh[i] = std::move(slot);
            }
        }
        slots_.swap(fresh);
        mask_ = mask;
        shift_ = shift;
    }

    static int shiftFor(std::size_t capacity) {
        return 64 - std::countr_zero(static_cast<std::uint64_t>(capacity));
    }

    void resize(std::size_t capacity) {
        Slot free{};
        free.key = kFree;
        slots_.assign(capacity, free);
        mask_ = capacity - 1;
        shift_ = shiftFor(capacity);
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    int shift_ = 64;
    std::size_t stored_ = 0;  // keys in slots_
    std::size_t size_ = 0;    // and the one kept aside
    bool hasFreeKey_ = false;
    [[no_unique_address]] Stored freeKeyValue_{};
};

}  // namespace korvantis
