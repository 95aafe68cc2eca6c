#include "ui/panel_columns.h"

#include <QCoreApplication>

namespace korvantis::ui {

namespace {

QString title(const char* text) {
    return QCoreApplication::translate("korvantis::ui::ColumnHeaders", text);
}

constexpr Qt::Alignment kCentred = Qt::AlignHCenter;
constexpr Qt::Alignment kLeading = Qt::AlignLeft;

}  // namespace

const PanelColumns& panelColumns(RowKind kind) {
    static const PanelColumns process{{
                                          {title("Time"), 200, kCentred, FieldKey::timestamp},
                                          {title("Type"), 200, kCentred, FieldKey::type},
                                          {title("PID"), 50, kLeading, FieldKey::pid},
                                          {title("PPID"), 50, kCentred, FieldKey::ppid},
                                          {title("Path"), 0, kLeading, FieldKey::path},
                                      },
                                      StandardColor::paletteText};
    static const PanelColumns file{{
                                       {title("Time"), 200, kCentred, FieldKey::timestamp},
                                       {title("Type"), 215, kCentred, FieldKey::type},
                                       {title("PID"), 50, kLeading, FieldKey::pid},
                                       {title("Path"), 0, kLeading, FieldKey::path},
                                   },
                                   StandardColor::white};
    static const PanelColumns other{{
                                        {title("Time"), 200, kCentred, FieldKey::timestamp},
                                        {title("Type"), 200, kCentred, FieldKey::type},
                                        {title("PID"), 50, kLeading, FieldKey::pid},
                                        {title("PPID"), 50, kCentred, FieldKey::ppid},
                                        {title("Path"), 300, kLeading, FieldKey::path},
                                        {title("Summary"), 0, kLeading, factKey(Fact::summary)},
                                    },
                                    StandardColor::white};
    return kind == RowKind::process ? process : kind == RowKind::file ? file : other;
}

}  // namespace korvantis::ui
