#include "ui/store_row_source.h"

#include <algorithm>
#include <limits>
#include <type_traits>

#include "query/time_text.h"
#include "ui/time_display_choice.h"

namespace korvantis::ui {

namespace {

QString utf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A cell's text: the entry's texts unchanged, the ids in decimal.
template <typename Entry>
QString cellText(const Entry& e, FieldKey key) {
    switch (key) {
        case FieldKey::timestamp:
            return utf8(e.timestamp);
        case FieldKey::type:
            return utf8(e.type);
        case FieldKey::pid:
            return QString::number(e.pid);
        case FieldKey::ppid:
            if constexpr (requires { e.ppid; }) {
                return QString::number(e.ppid);
            }
            return {};
        case FieldKey::path:
            return utf8(e.path);
        default:
            break;
    }
    if (const auto fact = factOfKey(key)) {
        return utf8(korvantis::RowFacts(e.facts)[*fact]);
    }
    return {};
}

// The earliest time value of both lists (kNoTimeValue: none).
TimeValue earliestLoaded(const EventStore& store) {
    const TimeValue procs = store.procPreviews().earliestTime();
    const TimeValue files = store.filePreviews().earliestTime();
    if (procs == kNoTimeValue || files == kNoTimeValue) {
        return procs == kNoTimeValue ? files : procs;
    }
    return std::min(procs, files);
}

// A time cell's text in the chosen display.
template <typename Entry>
QString timeText(const Entry& e, const EventStore& store) {
    const TimeDisplay display = TimeDisplayChoice::instance().display();
    if (display == TimeDisplay::asRecorded || e.time == kNoTimeValue) {
        return utf8(e.timestamp);
    }
    return QString::fromStdString(shownTime(display, e.timestamp, e.time, earliestLoaded(store)));
}

struct ProcRows {
    static const PreviewRows<ProcPreviewEntry>& entries(const Workspace& w) {
        return w.store.procPreviews();
    }
    static const std::optional<ProcPreviewEntry>& active(const Workspace& w) {
        return w.selection.activePreview();
    }
    static constexpr StoreField activeField = StoreField::activePreview;
    static Mark mark(const ProcPreviewEntry& row, bool chosen,
                     const std::optional<ProcPreviewEntry>& active, FieldKey key) {
        return procFieldMark(row, chosen, active, key);
    }
};

struct FileRows {
    static const PreviewRows<FilePreviewEntry>& entries(const Workspace& w) {
        return w.store.filePreviews();
    }
    static const std::optional<FilePreviewEntry>& active(const Workspace& w) {
        return w.selection.activeFilePreview();
    }
    static constexpr StoreField activeField = StoreField::activeFilePreview;
    static Mark mark(const FilePreviewEntry& row, bool chosen,
                     const std::optional<FilePreviewEntry>& active, FieldKey key) {
        return fileFieldMark(row, chosen, active, key);
    }
};

struct OtherRows {
    static const PreviewRows<OtherPreviewEntry>& entries(const Workspace& w) {
        return w.store.otherPreviews();
    }
    static const std::optional<OtherPreviewEntry>& active(const Workspace& w) {
        return w.selection.activeOtherPreview();
    }
    static constexpr StoreField activeField = StoreField::activeOtherPreview;
    static Mark mark(const OtherPreviewEntry& row, bool chosen,
                     const std::optional<OtherPreviewEntry>& active, FieldKey key) {
        return otherFieldMark(row, chosen, active, key);
    }
};

template <typename Rows>
class StoreRowSource final : public RowSource {
  public:
    explicit StoreRowSource(StoreNotifier& notifier) : workspace_(notifier.workspace()) {
        connect(&notifier, &StoreNotifier::changed, this, &StoreRowSource::storeChanged);
        grow();
    }

    int rowCount() const override { return rows_; }
    QString text(int row, FieldKey key) const override {
        if (key == FieldKey::outcome) {
            return std::is_same_v<Rows, ProcRows>
                       ? utf8(workspace_.store.lifetimes().outcomeOf(static_cast<std::size_t>(row)))
                       : QString();
        }
        return key == FieldKey::timestamp ? timeText(entry(row), workspace_.store)
                                          : cellText(entry(row), key);
    }
    Mark mark(int row, FieldKey key) const override {
        const auto& active = Rows::active(workspace_);
        const std::optional<LinePlace> place = chosenPlace(active);
        const bool chosen =
            place && Rows::entries(workspace_).entryOf(static_cast<std::size_t>(row)) == *place;
        return Rows::mark(entry(row), chosen, active, key);
    }
    Uuid rowId(int row) const override {
        return Rows::entries(workspace_)[static_cast<std::size_t>(row)].id;
    }

  private:
    // Rows are read as values (the store keeps them compactly), without their
    // ids: painting compares places.
    auto entry(int row) const {
        return Rows::entries(workspace_).withoutId(static_cast<std::size_t>(row));
    }

    // The chosen row's place among the store's lines, found once per choice
    // (the selection holds its id).
    template <typename Active>
    std::optional<LinePlace> chosenPlace(const Active& active) const {
        if (!active) {
            return std::nullopt;
        }
        if (active->id != chosenId_) {
            chosenId_ = active->id;
            chosenPlace_ = workspace_.store.lineRefs().indexOf(active->id);
        }
        return chosenPlace_;
    }

    bool grow() {
        const int n = static_cast<int>(std::min<std::size_t>(Rows::entries(workspace_).size(),
                                                             std::numeric_limits<int>::max()));
        if (n <= rows_) {
            return false;
        }
        rows_ = n;
        return true;
    }

    void storeChanged(StoreNotifier::Fields fields) {
        // Any announcement may come with appended entries (file previews are
        // appended alongside other changes), so the count is checked every time.
        if (grow()) {
            emit rowsAppended();
        }
        if (StoreNotifier::has(fields, Rows::activeField)) {
            emit marksChanged();
        }
    }

    Workspace& workspace_;
    int rows_ = 0;
    // Of chosenPlace(): only the UI thread paints.
    mutable Uuid chosenId_{};
    mutable std::optional<LinePlace> chosenPlace_;
};

}  // namespace

std::unique_ptr<RowSource> makeStoreRowSource(RowKind kind, StoreNotifier& notifier) {
    if (kind == RowKind::process) {
        return std::make_unique<StoreRowSource<ProcRows>>(notifier);
    }
    if (kind == RowKind::other) {
        return std::make_unique<StoreRowSource<OtherRows>>(notifier);
    }
    return std::make_unique<StoreRowSource<FileRows>>(notifier);
}

}  // namespace korvantis::ui
