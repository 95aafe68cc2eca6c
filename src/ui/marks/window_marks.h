#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "investigation/kept_mark_texts.h"
#include "investigation/line_numbers.h"
#include "investigation/mark_book.h"
#include "investigation/row_marks.h"
#include "store/event_store.h"

namespace korvantis::ui {

class StoreNotifier;

// The marks of one main window: the session's book of marks (by log real
// path, line and checksum) and which of them apply to the rows loaded now.
// The rows' view of it is made again only when asked after the book or the
// store changed, so a load that files rows costs nothing until a mark is
// looked at. The store's rows carry the tags and notes of the marks that
// apply to them (for the lists, the filter and exports): given to it at once
// when the book changes, and a moment after rows arrive.
class WindowMarks : public QObject {
    Q_OBJECT
  public:
    // A mark whose line no longer holds the text it was made on.
    struct DetachedMark {
        std::string log;  // the log's real path
        std::uint64_t line = 0;
        const MarkText* text = nullptr;
    };

    explicit WindowMarks(StoreNotifier& notifier, QObject* parent = nullptr);

    const MarkBook& book() const { return book_; }
    // Replaces the marks of the logs `other` names by its own; other logs'
    // marks stay.
    void adopt(const MarkBook& other);
    // The same, with the texts of `other`'s marks copied already when given
    // (on the worker that read them), so that none is copied here.
    void adopt(MarkBook&& other, KeptMarkTexts texts = {});
    // Forgets every mark.
    void clear();

    // The mark of stored line `entry`, or null.
    const MarkText* markAt(LinePlace entry) const;
    // The marks that apply to loaded rows, by stored line, ascending.
    const std::vector<std::pair<LinePlace, const MarkText*>>& marked() const;
    // The marks as they apply to the rows loaded now.
    const RowMarks& rowMarks() const;
    // The marks of loaded logs that no longer match their lines.
    std::vector<DetachedMark> detached() const;
    // The line number of stored line `entry` in its log.
    std::uint64_t lineOf(LinePlace entry) const;
    // A stored line named as a mark names its row: by its log's real path,
    // its line and the line's checksum; nothing for a line of standard input.
    struct NamedLine {
        std::string log;
        MarkPlace place;
    };
    std::optional<NamedLine> nameOf(LinePlace entry) const;
    // The stored line so named, while its log is loaded and the line's
    // checksum still matches.
    std::optional<LinePlace> entryOf(const NamedLine& line) const;

    // Edits the mark of stored line `entry`; false when the row cannot be
    // marked (read from standard input).
    bool edit(LinePlace entry, const MarkEdit& edit);
    // Sets the tags of the row to `tags` (tag words, any case).
    bool setTags(LinePlace entry, const std::vector<std::string>& tags);
    // Adds the bookmark, or takes it off; false when it cannot be marked.
    bool toggleBookmark(LinePlace entry);

  signals:
    // A mark was added, changed or dropped, or the book replaced.
    void changed();

  private:
    // The rows' view, made again when the store or the book has changed.
    void refresh() const;
    void bookChanged(KeptMarkTexts texts = {});
    // Gives the store's rows the tags and notes of the marks as they apply now.
    void publish();

    EventStore& store_;
    QTimer publishTimer_;
    bool published_ = false;  // the store's rows carry marks
    MarkBook book_;
    // The copied texts of the marks as adopted, until the book next changes,
    // and every copy rows may still refer to.
    KeptMarkTexts adoptedTexts_;
    std::vector<std::shared_ptr<const TextArena>> textArenas_;
    mutable std::optional<StoreLineNumbers> lines_;
    mutable RowMarks rows_;
    mutable bool stale_ = true;
    mutable std::size_t linesSeen_ = 0;
};

}  // namespace korvantis::ui
