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
