#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

#include "store/text_arena.h"

namespace korvantis {

// Keeps each distinct text once: a log names the same few thousand paths
// over and over. Stored texts never move. Append-only. Safe to use from
// several threads at once: the texts are spread over shards by their hash,
// each with its own lock, so the decoding threads of a load rarely wait.
class InternedTexts {
  public:
    // The stored copy of `text`, stored now if it was not yet.
    std::string_view intern(std::string_view text);
    // What intern() gives for each of `texts`, into `stored` (as many), and
    // unless `ordinals` is empty their ordinals (kNoOrdinal for an empty
    // text) into it (as many), for
    // many texts at once: each shard is locked once, and table slots and
    // stored texts are fetched ahead of their turn, since on a large log
    // nearly every look-up misses the processor's caches.
    void internAll(std::span<const std::string_view> texts, std::span<std::string_view> stored,
                   std::span<std::uint32_t> ordinals = {});
    static constexpr std::uint32_t kNoOrdinal = UINT32_MAX;

    // Of a text intern() gave out (not an empty one), by its first byte:
    // the whole text, and its number in the order the texts were first
    // kept (0, 1, 2, ... over all shards). Both are kept beside the text, so
    // that a writer of the texts can tell them apart without a look-up.
    static std::string_view storedAt(const char* text);
    static std::uint32_t ordinalOf(const char* text);

  private:
    struct Slot {
        std::uint64_t hash = 0;
        // nullptr: free; the text's ordinal and length precede it
        const char* text = nullptr;
    };
    // Large enough to be mapped on their own (see LargeBlock), so that a
    // store kept in a file keeps its texts there too.
    static constexpr std::size_t kShardBlock = LargeBlock::kMappedFrom;
    struct Shard {
        std::mutex mutex;
        TextArena arena{kShardBlock};
        std::vector<Slot> table;
        std::size_t used = 0;
        // Room for `more` texts without growing in between.
        void reserve(std::size_t more);
        std::string_view find(std::uint64_t hash, std::string_view text,
                              std::atomic<std::uint32_t>& kept);
    };
    static constexpr std::size_t kShards = 16;
    static std::size_t shardOf(std::uint64_t hash) { return hash >> 60; }
    std::array<Shard, kShards> shards_;
    std::atomic<std::uint32_t> kept_{0};  // texts kept so far, the next ordinal
};

}  // namespace korvantis
