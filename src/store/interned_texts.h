#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
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

  private:
    struct Slot {
        std::uint64_t hash = 0;
        std::string_view text;  // empty data() = free slot
    };
    static constexpr std::size_t kShardBlock = std::size_t{1} << 20;
    struct Shard {
        std::mutex mutex;
        TextArena arena{kShardBlock};
        std::vector<Slot> table;
        std::size_t used = 0;
        void grow();
    };
    static constexpr std::size_t kShards = 16;
    std::array<Shard, kShards> shards_;
};

}  // namespace korvantis
