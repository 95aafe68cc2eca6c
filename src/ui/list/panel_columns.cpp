#include "ui/list/panel_columns.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

#include "decode/event_kinds.h"

namespace korvantis::ui {

namespace {

constexpr Qt::Alignment kCentred = Qt::AlignHCenter;
constexpr Qt::Alignment kLeading = Qt::AlignLeft;

QString title(const RowField& field) {
    return QCoreApplication::translate(
        "korvantis::ui::ColumnHeaders",
        QByteArray(field.title.data(), static_cast<qsizetype>(field.title.size())).constData());
}

// A column's width: `designed` where its longest expected text fits in the
// list's font (the preferred font does), else that text's width, so that no
// row of a log wraps its type or time onto a second line.
int fitting(int designed, const QStringList& longest) {
    const QFontMetrics metrics(rowFont());
    int needed = 0;
    for (const QString& text : longest) {
        needed = std::max(needed, metrics.horizontalAdvance(text) + 2);
    }
    return std::max(designed, needed);
}

int timeWidth() {
    // Every shape a time is shown in (a native timestamp, an eslogger one,
    // UTC or local, since the first event), each digit the font's widest:
    // digits need not be equally wide, and one example would leave a wider
    // time to wrap its last character.
    const QFontMetrics metrics(rowFont());
    QChar widest = QLatin1Char('0');
    for (char digit = '0'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest)) {
            widest = QLatin1Char(digit);
        }
    }
    QStringList shapes = {
        QStringLiteral("9999999999.999999"), QStringLiteral("9999-99-99T99:99:99.999999999Z"),
        QStringLiteral("9999-99-99 99:99:99.999999"), QStringLiteral("+99999d 99:99:99.999999")};
    for (QString& shape : shapes) {
        shape.replace(QLatin1Char('9'), widest);
    }
    return fitting(200, shapes);
}

int typeWidth(int designed) {
    QStringList names;
    for (const std::string_view name : kEventKindNames) {
        names.append(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    return fitting(designed, names);
}

// How a field's column looks in a list of `kind`: the row's own fields as
// designed, any other as wide as its title, its cells wrapped like Path's.
EventColumn columnOf(FieldId id, RowKind kind, bool fills) {
    const RowField& field = rowField(id);
    const QString header = title(field);
    EventColumn column{header, 0, kLeading, id};
    switch (id) {
        case FieldId::timestamp:
            column = {header, timeWidth(), kCentred, id};
            break;
        case FieldId::type:
            column = {header, typeWidth(kind == RowKind::file ? 215 : 200), kCentred, id};
            break;
        case FieldId::pid:
            column.width = 50;
            break;
        case FieldId::ppid:
            column = {header, 50, kCentred, id};
            break;
        case FieldId::path:
            column.width = 300;
            break;
        case FieldId::outcome:  // wide enough for "still running"
            column.width =
                QFontMetrics(rowFont()).horizontalAdvance(QStringLiteral("still running")) + 8;
            break;
        default:
            column.width = QFontMetrics(headerFont()).horizontalAdvance(header) + 2;
            break;
    }
    if (fills) {
        column.width = 0;
    }
    return column;
}

// The fields a list of `kind` offers, and of those the one that fills the
// row: the last shown by default.
std::vector<FieldId> offeredFields(RowKind kind, FieldId& filling) {
    std::vector<FieldId> fields;
    for (const RowField& field : rowFields()) {
        if (contains(field.columns, kind)) {
            fields.push_back(field.id);
            if (contains(field.shown, kind)) {
                filling = field.id;
            }
        }
    }
    return fields;
}

PanelColumns defaultColumns(RowKind kind) {
    FieldId filling = FieldId::path;
    PanelColumns columns;
    for (const FieldId id : offeredFields(kind, filling)) {
        if (contains(rowField(id).shown, kind)) {
            columns.columns.push_back(columnOf(id, kind, id == filling));
        }
    }
    columns.standard = kind == RowKind::process ? StandardColor::paletteText : StandardColor::white;
    return columns;
}

}  // namespace

const PanelColumns& panelColumns(RowKind kind) {
    static const PerKind<PanelColumns> columns{{defaultColumns(RowKind::process),
                                                defaultColumns(RowKind::file),
                                                defaultColumns(RowKind::other)}};
    return columns[kind];
}

std::vector<EventColumn> offeredColumns(RowKind kind) {
    FieldId filling = FieldId::path;
    const std::vector<FieldId> fields = offeredFields(kind, filling);
    std::vector<EventColumn> columns;
    for (const bool shown : {true, false}) {
        for (const FieldId id : fields) {
            if (id != filling && contains(rowField(id).shown, kind) == shown) {
                columns.push_back(columnOf(id, kind, false));
            }
        }
    }
    columns.push_back(columnOf(filling, kind, true));
    return columns;
}

}  // namespace korvantis::ui
