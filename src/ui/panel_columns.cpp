#include "ui/panel_columns.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

#include "ingest/event_kinds.h"

namespace korvantis::ui {

namespace {

QString title(const char* text) {
    return QCoreApplication::translate("korvantis::ui::ColumnHeaders", text);
}

constexpr Qt::Alignment kCentred = Qt::AlignHCenter;
constexpr Qt::Alignment kLeading = Qt::AlignLeft;

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
    // A native timestamp and an eslogger one.
    return fitting(200, {QStringLiteral("1765000000.000000"),
                         QStringLiteral("2026-08-12T15:28:33.510893468Z")});
}

int typeWidth(int designed) {
    QStringList names;
    for (const std::string_view name : kEventKindNames) {
        names.append(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    return fitting(designed, names);
}

}  // namespace

const PanelColumns& panelColumns(RowKind kind) {
    static const PanelColumns process{
        {
            {title("Time"), timeWidth(), kCentred, FieldKey::timestamp},
            {title("Type"), typeWidth(200), kCentred, FieldKey::type},
            {title("PID"), 50, kLeading, FieldKey::pid},
            {title("PPID"), 50, kCentred, FieldKey::ppid},
            {title("Path"), 0, kLeading, FieldKey::path},
        },
        StandardColor::paletteText};
    static const PanelColumns file{{
                                       {title("Time"), timeWidth(), kCentred, FieldKey::timestamp},
                                       {title("Type"), typeWidth(215), kCentred, FieldKey::type},
                                       {title("PID"), 50, kLeading, FieldKey::pid},
                                       {title("Path"), 0, kLeading, FieldKey::path},
                                   },
                                   StandardColor::white};
    static const PanelColumns other{{
                                        {title("Time"), timeWidth(), kCentred, FieldKey::timestamp},
                                        {title("Type"), typeWidth(200), kCentred, FieldKey::type},
                                        {title("PID"), 50, kLeading, FieldKey::pid},
                                        {title("PPID"), 50, kCentred, FieldKey::ppid},
                                        {title("Path"), 300, kLeading, FieldKey::path},
                                        {title("Summary"), 0, kLeading, factKey(Fact::summary)},
                                    },
                                    StandardColor::white};
    return kind == RowKind::process ? process : kind == RowKind::file ? file : other;
}

}  // namespace korvantis::ui
