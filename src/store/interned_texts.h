#pragma once

#include <array>
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
    // What intern() gives for each of `texts`, into `stored` (as many), for
    // many texts at once: each shard is locked once, and table slots and
    // stored texts are fetched ahead of their turn, since on a large log
    // nearly every look-up misses the processor's caches.
    void internAll(std::span<const std::string_view> texts, std::span<std::string_view> stored);

  private:
    struct Slot {
        std::uint64_t hash = 0;
        const char* text = nullptr;  // nullptr: free; the text's length precedes it
    };
    static constexpr std::size_t kShardBlock = std::size_t{1} << 20;
    struct Shard {
        std::mutex mutex;
        TextArena arena{kShardBlock};
        std::vector<Slot> table;
        std::size_t used = 0;
        // Room for `more` texts without growing in between.
        void reserve(std::size_t more);
        std::string_view find(std::uint64_t hash, std::string_view text);
    };
    static constexpr std::size_t kShards = 16;
    static std::size_t shardOf(std::uint64_t hash) { return hash >> 60; }
    std::array<Shard, kShards> shards_;
};

}  // namespace korvantis
