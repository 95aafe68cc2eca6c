#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "investigation/mark_book.h"
#include "store/text_arena.h"

namespace korvantis {

// Copies of the tags and notes of a book's marks, found by the address of
// each mark's text in the book. Made on the worker that read the book, so
// that the window's thread can give rows their marks' texts without
// copying a hundred thousand notes itself. The copies live as long as
// their arena; the addresses stay right while the book's marks are moved
// (whole logs at a time) but not once a mark is added, dropped or edited.
class KeptMarkTexts {
  public:
    struct Texts {
        std::string_view tags;
        std::string_view note;
    };

    KeptMarkTexts() = default;
    // Drops `book`'s marks with neither tags nor note first, as adopting
    // the book does: dropped later, they would move the others.
    explicit KeptMarkTexts(MarkBook& book);

    // The copies of the texts of `text`, or null when it is not one of them.
    // `next` is where the look-up starts, and is left after the text found:
    // texts looked up in the book's order are each found in one step.
    const Texts* find(const MarkText* text, std::size_t& next) const;
    bool empty() const { return byText_.empty(); }
    // What holds the copies.
    const std::shared_ptr<const TextArena>& arena() const { return arena_; }

  private:
    std::shared_ptr<const TextArena> arena_;
    std::vector<std::pair<const MarkText*, Texts>> byText_;  // by address, ascending
};

}  // namespace korvantis
