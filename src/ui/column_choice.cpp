#include "ui/column_choice.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QSettings>

#include <algorithm>

#include "ui/style.h"
#include "ui/viewer_settings.h"

namespace korvantis::ui {

namespace {

// The facts offered as columns, in the menu's order.
constexpr Fact kFactColumns[] = {
    Fact::args,         Fact::cwd,     Fact::uid, Fact::pidversion, Fact::responsible_pid,
    Fact::signing_id,   Fact::team_id, Fact::tty, Fact::platform,   Fact::signing,
    Fact::process_path,
};

// How a column is named in the settings.
QString keyName(FieldKey key) {
    static const char* const kNames[] = {"timestamp", "type", "pid", "ppid", "path", "outcome"};
    if (const auto fact = factOfKey(key)) {
        const std::string_view name = kFactNames[static_cast<std::size_t>(*fact)];
        return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    }
    return QString::fromLatin1(kNames[static_cast<int>(key)]);
}

// A fact's column: as wide as its title, its cells wrapped like Path's.
EventColumn factColumn(Fact fact) {
    const std::string_view label = kFactLabels[static_cast<std::size_t>(fact)];
    const QString title = QCoreApplication::translate(
        "korvantis::ui::ColumnHeaders",
        QByteArray(label.data(), static_cast<qsizetype>(label.size())).constData());
    const int width = QFontMetrics(headerFont()).horizontalAdvance(title) + 2;
    return {title, width, Qt::AlignLeft, factKey(fact)};
}

// How a process row's run ended: wide enough for "still running".
EventColumn outcomeColumn() {
    const QString title = QCoreApplication::translate("korvantis::ui::ColumnHeaders", "Outcome");
    const int width =
        QFontMetrics(rowFont()).horizontalAdvance(QStringLiteral("still running")) + 8;
    return {title, width, Qt::AlignLeft, FieldKey::outcome};
}

// The user's choices, kept across runs.
QSettings settings() {
    return viewerSettings();
}

}  // namespace

ColumnChoice::ColumnChoice(RowKind kind, ColumnLayout& layout, QObject* parent)
    : QObject(parent), kind_(kind), layout_(layout) {
    const std::vector<EventColumn>& defaults = panelColumns(kind).columns;
    available_.assign(defaults.begin(), defaults.end() - 1);
    for (const Fact fact : kFactColumns) {
        available_.push_back(factColumn(fact));
    }
    if (kind == RowKind::process) {
        available_.push_back(outcomeColumn());
    }
    available_.push_back(defaults.back());  // Path, or the other rows' Summary
    shown_.assign(available_.size(), false);
    const QVariant saved = settings().value(settingsKey(QStringLiteral("columns")));
    const QVariantMap widths = settings().value(settingsKey(QStringLiteral("widths"))).toMap();
    const QStringList names = saved.toStringList();
    for (std::size_t i = 0; i < available_.size(); ++i) {
        const QString name = keyName(available_[i].key);
        const bool isDefault =
            std::any_of(defaults.begin(), defaults.end(),
                        [&](const EventColumn& c) { return c.key == available_[i].key; });
        shown_[i] = saved.isValid() ? names.contains(name) : isDefault;
        if (widths.contains(name) && available_[i].width > 0) {
            available_[i].width = std::max(ColumnLayout::kMinWidth, widths.value(name).toInt());
        }
    }
    if (std::none_of(shown_.begin(), shown_.end(), [](bool b) { return b; })) {
        shown_.back() = true;
    }
    apply();
    connect(&layout_, &ColumnLayout::widthsChanged, this, &ColumnChoice::keepWidths);
}

QString ColumnChoice::settingsKey(const QString& what) const {
    return what + (kind_ == RowKind::process ? QStringLiteral("/processes")
                   : kind_ == RowKind::file  ? QStringLiteral("/files")
                                             : QStringLiteral("/others"));
}

void ColumnChoice::keepWidths() {
    QVariantMap widths = settings().value(settingsKey(QStringLiteral("widths"))).toMap();
    for (int i = 0; i + 1 < layout_.count(); ++i) {
        const FieldKey key = layout_.column(i).key;
        const int width = layout_.width(i, 0);
        for (EventColumn& column : available_) {
            if (column.key == key && column.width > 0) {
                column.width = width;
                widths.insert(keyName(key), width);
            }
        }
    }
    settings().setValue(settingsKey(QStringLiteral("widths")), widths);
}

bool ColumnChoice::isShown(FieldKey key) const {
    for (std::size_t i = 0; i < available_.size(); ++i) {
        if (available_[i].key == key) {
            return shown_[i];
        }
    }
    return false;
}

void ColumnChoice::setShown(FieldKey key, bool shown) {
    const auto it = std::find_if(available_.begin(), available_.end(),
                                 [key](const EventColumn& c) { return c.key == key; });
    if (it == available_.end()) {
        return;
    }
    const auto i = static_cast<std::size_t>(it - available_.begin());
    if (shown_[i] == shown || (!shown && std::count(shown_.begin(), shown_.end(), true) == 1)) {
        return;
    }
    shown_[i] = shown;
    QStringList names;
    for (std::size_t c = 0; c < available_.size(); ++c) {
        if (shown_[c]) {
            names.append(keyName(available_[c].key));
        }
    }
    settings().setValue(settingsKey(QStringLiteral("columns")), names);
    apply();
}

CsvFields ColumnChoice::shownFields() const {
    CsvFields fields;
    for (std::size_t i = 0; i < available_.size(); ++i) {
        if (!shown_[i]) {
            continue;
        }
        if (const auto fact = factOfKey(available_[i].key)) {
            fields.push_back({CsvField::Of::fact, *fact});
        } else if (available_[i].key == FieldKey::outcome) {
            fields.push_back({CsvField::Of::outcome});
        }
    }
    return fields;
}

void ColumnChoice::fillMenu(QMenu& menu) {
    for (std::size_t i = 0; i < available_.size(); ++i) {
        QAction* action = menu.addAction(available_[i].header);
        action->setCheckable(true);
        action->setChecked(shown_[i]);
        const FieldKey key = available_[i].key;
        connect(action, &QAction::toggled, this, [this, key](bool on) { setShown(key, on); });
    }
}

void ColumnChoice::apply() {
    PanelColumns columns{{}, panelColumns(kind_).standard};
    for (std::size_t i = 0; i < available_.size(); ++i) {
        if (shown_[i]) {
            columns.columns.push_back(available_[i]);
        }
    }
    layout_.setColumns(columns);
}

}  // namespace korvantis::ui
