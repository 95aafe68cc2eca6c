// korvantis-inspect --session: reading a session, applying its marks to the
// loaded rows, and editing them.

#include "inspect/marks_edit.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "inspect/store_rows.h"

namespace korvantis {

MarkEdit markEditOf(const InspectOptions& options) {
    if (options.addTag) {
        return {MarkEdit::Kind::addTag, lowerTag(*options.addTag)};
    }
    if (options.removeTag) {
        return {MarkEdit::Kind::removeTag, lowerTag(*options.removeTag)};
    }
    return {MarkEdit::Kind::setNote, options.setNote.value_or("")};
}

int SessionMarks::read(InspectOptions& options) {
    SessionRead read = readSession(file_);
    if (read.session) {
        session_ = std::move(*read.session);
    } else if (!(read.missing && editsMarks(options))) {
        std::cerr << "korvantis-inspect: " << read.error << "\n";
        return 1;
    }
    if (options.logs.empty()) {
        options.logs = session_.logs;
        if (options.logs.empty()) {
            std::cerr << "korvantis-inspect: session \"" << file_ << "\" names no logs\n";
            return 2;
        }
    }
    return 0;
}

void SessionMarks::attach(const EventStore& store) {
    store_ = &store;
    lines_.emplace(store);
    marks_ = RowMarks(store, *lines_, session_.marks);
    marksStale_ = false;
    for (const RowMarks::Detached& d : marks_.detached()) {
        std::cerr << "korvantis-inspect: " << d.count
                  << (d.count == 1 ? " mark no longer matches its line"
                                   : " marks no longer match their lines")
                  << " in " << store.logFiles().fileName(d.log) << "\n";
    }
}

int SessionMarks::apply(FilterQuery& query, const MarkEdit& edit) {
    const EventStore& store = *store_;
    if (!query.treeRoots().empty()) {
        query.bindTrees(StoreRowCursor::processLinks(store));
    }
    const std::vector<std::string>& realPaths = marks_.realPaths();
    // The chosen rows' places, per log; each log's marks are then edited
    // in one pass. A log loaded twice gathers its places from both loads.
    std::vector<std::size_t> slotOf(realPaths.size());
    for (std::size_t log = 0; log < realPaths.size(); ++log) {
        slotOf[log] = static_cast<std::size_t>(
            std::find(realPaths.begin(), realPaths.end(), realPaths[log]) - realPaths.begin());
    }
    std::vector<std::vector<MarkPlace>> chosen(realPaths.size());
    std::size_t unreadable = 0;
    std::size_t unmarkable = 0;
    StoreRowCursor cursor(store, &marks_);
    ExportRow row;
    while (cursor.next(row)) {
        const RowMatch match = matchRow(
            query, row.row, [&]() -> const auto& { return cursor.rawLine(); });
        if (match != RowMatch::shown) {
            unreadable += match == RowMatch::unreadable;
            continue;
        }
        const LineRef& ref = store.lineRefs().ref(cursor.entry());
        if (realPaths[ref.log].empty()) {
            ++unmarkable;
            continue;
        }
        chosen[slotOf[ref.log]].push_back({lines_->lineOf(cursor.entry()), ref.checksum});
    }
    if (unreadable > 0) {
        std::cerr << "korvantis-inspect: " << unreadable << (unreadable == 1 ? " row" : " rows")
                  << " could not be read again to be tested; session \"" << file_
                  << "\" not saved\n";
        return 1;
    }
    if (unmarkable > 0) {
        std::cerr << "korvantis-inspect: rows read from standard input cannot be marked\n";
    }
    for (std::size_t log = 0; log < chosen.size(); ++log) {
        if (!chosen[log].empty()) {
            session_.marks.marksOf(realPaths[log]).editAll(std::move(chosen[log]), edit);
        }
    }
    // The rows' marks point into the book: made again when next asked.
    marksStale_ = true;
    session_.marks.dropEmpty();
    if (session_.logs.empty()) {
        // A new session's own logs are those of its first run.
        for (const std::string& real : realPaths) {
            if (!real.empty() && std::find(session_.logs.begin(), session_.logs.end(), real) ==
                                     session_.logs.end()) {
                session_.logs.push_back(real);
            }
        }
    }
    return 0;
}

const RowMarks& SessionMarks::rowMarks() const {
    if (marksStale_) {
        marks_ = RowMarks(*store_, *lines_, session_.marks);
        marksStale_ = false;
    }
    return marks_;
}

int SessionMarks::save() {
    if (const std::string failed = writeSession(file_, session_); !failed.empty()) {
        std::cerr << "korvantis-inspect: " << failed << "\n";
        return 1;
    }
    return 0;
}

}  // namespace korvantis
