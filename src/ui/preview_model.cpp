#include "ui/preview_model.h"

#include <QBrush>
#include <QGuiApplication>

#include <algorithm>
#include <limits>

namespace korvantis::ui {

namespace {

QString utf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

constexpr Qt::Alignment kCentred = Qt::AlignHCenter;
constexpr Qt::Alignment kLeading = Qt::AlignLeft;

}  // namespace

PreviewModel::PreviewModel(StoreNotifier& notifier, const PanelColumns& columns, QObject* parent)
    : QAbstractTableModel(parent), store_(notifier.store()), columns_(columns) {
    connect(&notifier, &StoreNotifier::changed, this, &PreviewModel::storeChanged);
}

int PreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int PreviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.columns.size());
}

QColor PreviewModel::cellColor(int row, int column, const QPalette& palette) const {
    return markColor(cellMark(row, column), columns_.standard, palette);
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= columnCount()) {
        return {};
    }
    const int row = index.row();
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return cellText(row, column);
        case Qt::ForegroundRole:
            return QBrush(cellColor(row, column, QGuiApplication::palette()));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(columns_.columns[column].rowAlignment);
        case Qt::FontRole:
            return rowFont();
        case MarkRole:
            return static_cast<int>(cellMark(row, column));
        case IdRole:
            return QString::fromStdString(entryId(row).toString());
        default:
            return {};
    }
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return columns_.columns[section].header;
        case Qt::ForegroundRole:
            return QBrush(greenColor());
        case Qt::FontRole:
            return headerFont();
        default:
            return {};
    }
}

void PreviewModel::syncRows() {
    const std::size_t total = std::min<std::size_t>(storeCount(), std::numeric_limits<int>::max());
    const int n = static_cast<int>(total);
    if (n > rows_) {
        beginInsertRows({}, rows_, n - 1);
        rows_ = n;
        endInsertRows();
    }
}

void PreviewModel::storeChanged(StoreNotifier::Fields fields) {
    // Any announcement may come with appended entries (file previews are
    // appended alongside other changes), so the count is checked every time.
    syncRows();
    if (StoreNotifier::has(fields, activeField()) && rows_ > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1),
                         {Qt::ForegroundRole, MarkRole});
    }
}

namespace {

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
    }
    return {};
}

}  // namespace

QString ProcPreviewRow::text(const Entry& e, FieldKey key) {
    return cellText(e, key);
}

const PanelColumns& ProcPreviewRow::columns() {
    static const PanelColumns c{
        {
            {PreviewModel::tr("Time"), 205, 200, kCentred, FieldKey::timestamp},
            {PreviewModel::tr("Type"), 205, 200, kCentred, FieldKey::type},
            {PreviewModel::tr("PID"), 55, 50, kLeading, FieldKey::pid},
            {PreviewModel::tr("PPID"), 55, 50, kCentred, FieldKey::ppid},
            {PreviewModel::tr("Path"), 55, 0, kLeading, FieldKey::path},
        },
        StandardColor::paletteText};
    return c;
}

QString FilePreviewRow::text(const Entry& e, FieldKey key) {
    return cellText(e, key);
}

const PanelColumns& FilePreviewRow::columns() {
    static const PanelColumns c{
        {
            {PreviewModel::tr("Time"), 205, 200, kCentred, FieldKey::timestamp},
            {PreviewModel::tr("Type"), 215, 215, kCentred, FieldKey::type},
            {PreviewModel::tr("PID"), 55, 50, kLeading, FieldKey::pid},
            {PreviewModel::tr("Path"), 55, 0, kLeading, FieldKey::path},
        },
        StandardColor::white};
    return c;
}

}  // namespace korvantis::ui
