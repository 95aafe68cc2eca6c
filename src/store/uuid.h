#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace korvantis {

// A random (version 4) identifier.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    bool operator==(const Uuid&) const = default;
    auto operator<=>(const Uuid&) const = default;

    // A fresh version-4 id from a process-wide generator (thread-safe).
    static Uuid random();
};

// Fast generator for bulk ids, seeded from the system's entropy source.
// Not thread-safe: one per owner.
class UuidGenerator {
  public:
    UuidGenerator();
    Uuid next();

  private:
    std::uint64_t s_[4];
};

}  // namespace korvantis
