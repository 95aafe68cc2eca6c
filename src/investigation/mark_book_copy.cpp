// A book of marks copied flat.

#include "investigation/mark_book_copy.h"

namespace korvantis {

MarkBookCopy::MarkBookCopy(const MarkBook& book) {
    std::size_t marks = 0;
    std::size_t bytes = 0;
    for (const auto& [log, logMarks] : book.logs()) {
        marks += logMarks.size();
        for (const auto& [place, text] : logMarks) {
            bytes += text.tags.size() + text.note.size();
        }
    }
    logs_.reserve(book.logs().size());
    marks_.reserve(marks);
    texts_.reserve(bytes);
    for (const auto& [log, logMarks] : book.logs()) {
        const auto at = static_cast<std::uint32_t>(logs_.size());
        logs_.push_back(log);
        for (const auto& [place, text] : logMarks) {
            // A note is at most 64 KiB and a tag list of one row far less.
            marks_.push_back({place, at, static_cast<std::uint32_t>(text.tags.size()),
                              static_cast<std::uint32_t>(text.note.size())});
            texts_ += text.tags;
            texts_ += text.note;
        }
    }
}

MarkBook MarkBookCopy::book() const {
    MarkBook book;
    std::size_t at = 0;
    LogMarks* logMarks = nullptr;
    std::uint32_t log = 0;
    for (std::size_t i = 0; i < marks_.size(); ++i) {
        const Mark& mark = marks_[i];
        if (logMarks == nullptr || mark.log != log) {
            log = mark.log;
            logMarks = &book.marksOf(logs_[log]);
            std::size_t count = 0;
            while (i + count < marks_.size() && marks_[i + count].log == log) {
                ++count;
            }
            logMarks->reserve(count);
        }
        MarkText text;
        text.tags.assign(texts_, at, mark.tagsSize);
        at += mark.tagsSize;
        text.note.assign(texts_, at, mark.noteSize);
        at += mark.noteSize;
        // In the book's order, each log's marks ascending: each goes on the end.
        logMarks->emplace(mark.place, std::move(text));
    }
    return book;
}

}  // namespace korvantis
