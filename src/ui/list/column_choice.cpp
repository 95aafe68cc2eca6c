#include "ui/list/column_choice.h"

#include <QMenu>
#include <QSettings>
#include <QTimer>

#include <algorithm>

#include "ui/look/viewer_settings.h"

namespace korvantis::ui {

namespace {

// How a column is named in the settings.
QString keyName(FieldId key) {
    const std::string_view name = rowField(key).name;
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// The user's choices, kept across runs.
QSettings settings() {
    return viewerSettings();
}

}  // namespace

ColumnChoice::ColumnChoice(RowKind kind, ColumnLayout& layout, QObject* parent)
    : QObject(parent), kind_(kind), layout_(layout) {
    const std::vector<EventColumn>& defaults = panelColumns(kind).columns;
    available_ = offeredColumns(kind);
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
    static const PerKind<QString> kLists{
        {QStringLiteral("/processes"), QStringLiteral("/files"), QStringLiteral("/others")}};
    return what + kLists[kind_];
}

ColumnChoice::~ColumnChoice() {
    if (keepPending_) {
        keep();
    }
}

void ColumnChoice::keepWidths() {
    for (int i = 0; i + 1 < layout_.count(); ++i) {
        const FieldId key = layout_.column(i).key;
        const int width = layout_.width(i, 0);
        for (EventColumn& column : available_) {
            if (column.key == key && column.width > 0) {
                column.width = width;
                widthsChanged_.insert(keyName(key), width);
            }
        }
    }
    keepSoon();
}

void ColumnChoice::keepSoon() {
    if (!keepPending_) {
        keepPending_ = true;
        QTimer::singleShot(0, this, &ColumnChoice::keep);
    }
}

void ColumnChoice::keep() {
    keepPending_ = false;
    QSettings kept = settings();
    if (choiceChanged_) {
        QStringList names;
        for (std::size_t c = 0; c < available_.size(); ++c) {
            if (shown_[c]) {
                names.append(keyName(available_[c].key));
            }
        }
        kept.setValue(settingsKey(QStringLiteral("columns")), names);
        choiceChanged_ = false;
    }
    if (!widthsChanged_.isEmpty()) {
        QVariantMap widths = kept.value(settingsKey(QStringLiteral("widths"))).toMap();
        widths.insert(widthsChanged_);
        kept.setValue(settingsKey(QStringLiteral("widths")), widths);
        widthsChanged_.clear();
    }
}

bool ColumnChoice::isShown(FieldId key) const {
    for (std::size_t i = 0; i < available_.size(); ++i) {
        if (available_[i].key == key) {
            return shown_[i];
        }
    }
    return false;
}

void ColumnChoice::setShown(FieldId key, bool shown) {
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
    choiceChanged_ = true;
    keepSoon();
    apply();
}

void ColumnChoice::setShownColumns(const std::vector<std::pair<FieldId, int>>& shown) {
    std::vector<bool> on(available_.size(), false);
    for (const auto& [key, width] : shown) {
        for (std::size_t i = 0; i < available_.size(); ++i) {
            if (available_[i].key == key) {
                on[i] = true;
                if (width > 0 && available_[i].width > 0) {
                    available_[i].width = std::max(ColumnLayout::kMinWidth, width);
                }
            }
        }
    }
    if (std::none_of(on.begin(), on.end(), [](bool b) { return b; })) {
        return;
    }
    shown_ = std::move(on);
    choiceChanged_ = true;
    keepSoon();
    apply();
    // The layout keeps the widths of columns shown before: set them as given.
    for (int i = 0; i + 1 < layout_.count(); ++i) {
        for (const auto& [key, width] : shown) {
            if (layout_.column(i).key == key && width > 0) {
                layout_.setWidth(i, width);
            }
        }
    }
}

std::vector<FieldId> ColumnChoice::shownFields() const {
    std::vector<FieldId> fields;
    for (std::size_t i = 0; i < available_.size(); ++i) {
        if (shown_[i]) {
            fields.push_back(available_[i].key);
        }
    }
    return fields;
}

void ColumnChoice::fillMenu(QMenu& menu) {
    for (std::size_t i = 0; i < available_.size(); ++i) {
        QAction* action = menu.addAction(available_[i].header);
        action->setCheckable(true);
        action->setChecked(shown_[i]);
        const FieldId key = available_[i].key;
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
