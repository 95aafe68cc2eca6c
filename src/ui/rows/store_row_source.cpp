#include "ui/rows/store_row_source.h"

#include <algorithm>
#include <limits>
#include <string>

#include "describe/time_text.h"
#include "ui/look/time_display_choice.h"

namespace korvantis::ui {

namespace {

QString utf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The earliest time value of every list (kNoTimeValue: none).
TimeValue earliestLoaded(const EventStore& store) {
    TimeValue earliest = kNoTimeValue;
    for (const RowKind kind : kRowKinds) {
        const TimeValue t = store.rows(kind).earliestTime();
        if (t != kNoTimeValue && (earliest == kNoTimeValue || t < earliest)) {
            earliest = t;
        }
    }
    return earliest;
}

}  // namespace

QString timeText(const RowView& row, const EventStore& store) {
    const TimeDisplay display = TimeDisplayChoice::instance().display();
    if (display == TimeDisplay::asRecorded || row.time == kNoTimeValue) {
        return utf8(row.timestamp);
    }
    return QString::fromStdString(
        shownTime(display, row.timestamp, row.time, earliestLoaded(store)));
}

namespace {

class StoreRowSource final : public RowSource {
  public:
    StoreRowSource(RowKind kind, StoreNotifier& notifier)
        : kind_(kind), workspace_(notifier.workspace()) {
        connect(&notifier, &StoreNotifier::changed, this, &StoreRowSource::storeChanged);
        grow();
    }

    int rowCount() const override { return rows_; }
    // Rows are read as values: the store keeps them compactly.
    RowView row(int row) const override {
        return workspace_.store.row(kind_, static_cast<std::size_t>(row));
    }
    QString text(int at, FieldId field) const override {
        const RowView r = row(at);
        if (field == FieldId::timestamp) {
            return timeText(r, workspace_.store);
        }
        std::string scratch;
        return utf8(fieldText(field, r, scratch));
    }
    Mark mark(int at, FieldId field) const override {
        const auto& active = workspace_.selection.activeRow(kind_);
        const bool chosen = active && rowPlace(at) == active->place;
        return fieldMark(row(at), chosen, active ? &active->row : nullptr, field);
    }
    LinePlace rowPlace(int row) const override {
        return list().placeOf(static_cast<std::size_t>(row));
    }

  private:
    const PreviewRows& list() const { return workspace_.store.rows(kind_); }

    bool grow() {
        const int n =
            static_cast<int>(std::min<std::size_t>(list().size(), std::numeric_limits<int>::max()));
        if (n <= rows_) {
            return false;
        }
        rows_ = n;
        return true;
    }

    void storeChanged(StoreNotifier::Fields fields) {
        // Any announcement may come with appended rows (rows of one kind are
        // appended alongside other changes), so the count is checked every time.
        if (grow()) {
            emit rowsAppended();
        }
        if (StoreNotifier::has(fields, activeRowField(kind_)) ||
            StoreNotifier::has(fields, StoreField::ruleHits) ||
            StoreNotifier::has(fields, StoreField::rowMarks)) {
            emit marksChanged();
        }
    }

    RowKind kind_;
    Workspace& workspace_;
    int rows_ = 0;
};

}  // namespace

std::unique_ptr<RowSource> makeStoreRowSource(RowKind kind, StoreNotifier& notifier) {
    return std::make_unique<StoreRowSource>(kind, notifier);
}

}  // namespace korvantis::ui
