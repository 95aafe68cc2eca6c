#include "store/interned_texts.h"

#include <algorithm>
#include <cstring>

#include "decode/same_text.h"
#include "store/line_ref.h"

namespace korvantis {

namespace {

using Length = std::uint32_t;
using Ordinal = std::uint32_t;
// Before each kept text: its ordinal, then its length.
constexpr std::size_t kHeader = sizeof(Ordinal) + sizeof(Length);

// How far ahead of its turn a text's table slot, and then its stored copy,
// are fetched.
constexpr std::size_t kSlotsAhead = 16;
constexpr std::size_t kTextsAhead = 8;

}  // namespace

std::string_view InternedTexts::storedAt(const char* text) {
    Length length;
    std::memcpy(&length, text - sizeof(Length), sizeof(Length));
    return {text, length};
}

std::uint32_t InternedTexts::ordinalOf(const char* text) {
    Ordinal ordinal;
    std::memcpy(&ordinal, text - kHeader, sizeof(Ordinal));
    return ordinal;
}

std::string_view InternedTexts::intern(std::string_view text) {
    std::string_view stored;
    internAll({&text, 1}, {&stored, 1});
    return stored;
}

void InternedTexts::internAll(std::span<const std::string_view> texts,
                              std::span<std::string_view> stored,
                              std::span<std::uint32_t> ordinals) {
    // Scratch kept per thread: a load interns in batches of a thousand.
    thread_local std::vector<std::uint64_t> hashes;
    thread_local std::vector<std::uint32_t> order;
    const std::size_t n = texts.size();
    hashes.resize(n);
    order.resize(n);
    std::array<std::uint32_t, kShards + 1> start{};
    for (std::size_t i = 0; i < n; ++i) {
        hashes[i] = lineChecksum(texts[i]);
        ++start[shardOf(hashes[i]) + 1];
    }
    for (std::size_t s = 0; s < kShards; ++s) {
        start[s + 1] += start[s];
    }
    std::array<std::uint32_t, kShards> next{};
    for (std::size_t s = 0; s < kShards; ++s) {
        next[s] = start[s];
    }
    for (std::size_t i = 0; i < n; ++i) {
        order[next[shardOf(hashes[i])]++] = static_cast<std::uint32_t>(i);
    }
    for (std::size_t s = 0; s < kShards; ++s) {
        const std::uint32_t* first = order.data() + start[s];
        const std::size_t count = start[s + 1] - start[s];
        if (count == 0) {
            continue;
        }
        Shard& shard = shards_[s];
        std::lock_guard lock(shard.mutex);
        shard.reserve(count);
        const std::size_t mask = shard.table.size() - 1;
        // The first slots are fetched all at once, not each at its turn.
        for (std::size_t k = 0; k < std::min(count, kSlotsAhead); ++k) {
            __builtin_prefetch(&shard.table[hashes[first[k]] & mask]);
        }
        for (std::size_t k = 0; k < count; ++k) {
            if (k + kSlotsAhead < count) {
                __builtin_prefetch(&shard.table[hashes[first[k + kSlotsAhead]] & mask]);
            }
            if (k + kTextsAhead < count) {
                const std::uint64_t h = hashes[first[k + kTextsAhead]];
                const Slot& home = shard.table[h & mask];
                if (home.hash == h && home.text != nullptr) {
                    __builtin_prefetch(home.text - kHeader);
                }
            }
            const std::uint32_t i = first[k];
            stored[i] =
                texts[i].empty() ? std::string_view() : shard.find(hashes[i], texts[i], kept_);
            if (!ordinals.empty()) {
                // Read beside the text just compared or written.
                ordinals[i] = texts[i].empty() ? kNoOrdinal : ordinalOf(stored[i].data());
            }
        }
    }
}

std::string_view InternedTexts::Shard::find(std::uint64_t hash, std::string_view text,
                                            std::atomic<std::uint32_t>& kept) {
    const std::size_t mask = table.size() - 1;
    for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
        Slot& slot = table[s];
        if (slot.text == nullptr) {
            // The ordinal and length go right before the text: a slot
            // stays small.
            const Ordinal ordinal = kept.fetch_add(1, std::memory_order_relaxed);
            const Length length = static_cast<Length>(text.size());
            char* at = arena.allocate(kHeader + text.size());
            std::memcpy(at, &ordinal, sizeof ordinal);
            std::memcpy(at + sizeof ordinal, &length, sizeof length);
            std::memcpy(at + kHeader, text.data(), text.size());
            slot.hash = hash;
            slot.text = at + kHeader;
            ++used;
            return {slot.text, text.size()};
        }
        if (slot.hash == hash) {
            const std::string_view candidate = storedAt(slot.text);
            if (sameText(candidate, text)) {
                return candidate;
            }
        }
    }
}

void InternedTexts::Shard::reserve(std::size_t more) {
    std::size_t size = table.empty() ? 256 : table.size();
    while ((used + more) * 2 > size) {
        size *= 2;
    }
    if (size == table.size()) {
        return;
    }
    std::vector<Slot> old;
    old.swap(table);
    table.resize(size);
    const std::size_t mask = size - 1;
    for (const Slot& slot : old) {
        if (slot.text == nullptr) {
            continue;
        }
        std::size_t s = slot.hash & mask;
        while (table[s].text != nullptr) {
            s = (s + 1) & mask;
        }
        table[s] = slot;
    }
}

}  // namespace korvantis
