#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvantis {

// The kinds of rows, each listed apart: process events, file events and
// messages of every other kind.
enum class RowKind : std::uint8_t { process, file, other };
inline constexpr std::size_t kRowKindCount = 3;
inline constexpr std::array<RowKind, kRowKindCount> kRowKinds = {RowKind::process, RowKind::file,
                                                                 RowKind::other};
// How the `kind` field writes them.
inline constexpr std::array<std::string_view, kRowKindCount> kRowKindNames = {"process", "file",
                                                                              "other"};

constexpr std::size_t indexOf(RowKind kind) {
    return static_cast<std::size_t>(kind);
}

// One T per row kind, indexed by the kind.
template <typename T>
struct PerKind {
    std::array<T, kRowKindCount> items;

    T& operator[](RowKind kind) { return items[indexOf(kind)]; }
    const T& operator[](RowKind kind) const { return items[indexOf(kind)]; }
    auto begin() { return items.begin(); }
    auto end() { return items.end(); }
    auto begin() const { return items.begin(); }
    auto end() const { return items.end(); }
};

}  // namespace korvantis
