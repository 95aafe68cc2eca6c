#pragma once

#include <optional>
#include <string>

#include "inspect/inspect_options.h"
#include "investigation/line_numbers.h"
#include "investigation/mark_book.h"
#include "investigation/row_marks.h"
#include "investigation/session_file.h"
#include "query/filter_query.h"
#include "store/event_store.h"

namespace korvantis {

// The edit the options ask for (one of --add-tag, --remove-tag, --set-note).
MarkEdit markEditOf(const InspectOptions& options);

// The session of a run of korvantis-inspect --session: read before the
// loads, its marks applied to the loaded rows, edited and saved.
class SessionMarks {
  public:
    explicit SessionMarks(std::string file) : file_(std::move(file)) {}

    // Reads the session file, and takes its logs for the run when the
    // options name none. The exit status: 0, or 1 when the file cannot be
    // read (a missing one is a new session for an edit), 2 when there are
    // no logs to read. Failures are named on standard error.
    int read(InspectOptions& options);
    // Applies the marks to the rows of the loaded `store`; the marks that
    // no longer match their lines are counted on standard error.
    void attach(const EventStore& store);
    const RowMarks& rowMarks() const;
    // Applies `edit` to the mark of every row `query` shows and saves the
    // session; the exit status (1 when a row could not be read again or
    // the file could not be saved, which then stays as it was).
    int edit(FilterQuery& query, const MarkEdit& edit) {
        const int status = apply(query, edit);
        return status != 0 ? status : save();
    }
    // The two steps of edit(): the marks changed in memory, then saved.
    int apply(FilterQuery& query, const MarkEdit& edit);
    int save();

  private:
    std::string file_;
    Session session_;
    const EventStore* store_ = nullptr;
    std::optional<StoreLineNumbers> lines_;
    mutable RowMarks marks_;
    mutable bool marksStale_ = false;
};

}  // namespace korvantis
