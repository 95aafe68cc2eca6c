#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

#include "store/event_keeper.h"
#include "ui/field_color.h"
#include "ui/store_notifier.h"
#include "ui/style.h"

namespace korvantis::ui {

// One column of an event list: its header and its row cell.
struct EventColumn {
    QString header;
    int headerWidth = 0;  // px
    int rowWidth = 0;     // px; 0 = the rest of the row, up to the text's width
    Qt::Alignment rowAlignment = Qt::AlignHCenter;
    FieldKey key = FieldKey::timestamp;
};

// What tells the two event panels apart, besides their entries.
struct PanelColumns {
    std::vector<EventColumn> columns;
    StandardColor standard = StandardColor::paletteText;
};

// A table model over one of the store's preview lists. It keeps its own row
// count and grows it when the store has announced changes (the lists only
// ever grow), so a view never sees a load half done and no view ever reads
// the store's counts on its own.
class PreviewModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Role { MarkRole = Qt::UserRole + 1, IdRole };

    PreviewModel(StoreNotifier& notifier, const PanelColumns& columns, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const PanelColumns& columns() const { return columns_; }
    EventKeeper& store() const { return store_; }

    // Direct reads for the list's painting (no QVariant per cell).
    virtual QString cellText(int row, int column) const = 0;
    virtual Mark cellMark(int row, int column) const = 0;
    virtual Uuid entryId(int row) const = 0;
    QColor cellColor(int row, int column, const QPalette& palette) const;

    // Takes up what the store has appended since the last call.
    void syncRows();

  protected:
    virtual std::size_t storeCount() const = 0;
    virtual StoreField activeField() const = 0;

  private:
    void storeChanged(StoreNotifier::Fields fields);

    EventKeeper& store_;
    PanelColumns columns_;
    int rows_ = 0;
};

// How a process entry is shown in a row and coloured.
struct ProcPreviewRow {
    using Entry = ProcPreviewEntry;
    static const ChunkedVector<Entry>& entries(const EventKeeper& s) { return s.procPreviews(); }
    static const std::optional<Entry>& active(const EventKeeper& s) { return s.activePreview(); }
    static constexpr StoreField activeField = StoreField::activePreview;
    static Mark fieldColor(const Entry& row, const std::optional<Entry>& active, FieldKey key) {
        return procFieldColor(row, active, key);
    }
    static QString text(const Entry& e, FieldKey key);
    static const PanelColumns& columns();
};

// How a file entry is shown in a row and coloured.
struct FilePreviewRow {
    using Entry = FilePreviewEntry;
    static const ChunkedVector<Entry>& entries(const EventKeeper& s) { return s.filePreviews(); }
    static const std::optional<Entry>& active(const EventKeeper& s) {
        return s.activeFilePreview();
    }
    static constexpr StoreField activeField = StoreField::activeFilePreview;
    static Mark fieldColor(const Entry& row, const std::optional<Entry>& active, FieldKey key) {
        return fileFieldColor(row, active, key);
    }
    static QString text(const Entry& e, FieldKey key);
    static const PanelColumns& columns();
};

template <typename Row>
class PreviewModelFor final : public PreviewModel {
  public:
    PreviewModelFor(StoreNotifier& notifier, QObject* parent)
        : PreviewModel(notifier, Row::columns(), parent) {}

    QString cellText(int row, int column) const override {
        return Row::text(entry(row), columns().columns[column].key);
    }
    Mark cellMark(int row, int column) const override {
        return Row::fieldColor(entry(row), Row::active(store()), columns().columns[column].key);
    }
    Uuid entryId(int row) const override { return entry(row).id; }

  protected:
    std::size_t storeCount() const override { return Row::entries(store()).size(); }
    StoreField activeField() const override { return Row::activeField; }

  private:
    const typename Row::Entry& entry(int row) const {
        return Row::entries(store())[static_cast<std::size_t>(row)];
    }
};

using ProcPreviewModel = PreviewModelFor<ProcPreviewRow>;
using FilePreviewModel = PreviewModelFor<FilePreviewRow>;

}  // namespace korvantis::ui
