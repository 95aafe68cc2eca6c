// The sort, columns, time display, chosen row and scroll places a session
// keeps of a window.

#include "ui/window/session_view_state.h"

#include <QJsonArray>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

#include "load/log_loader.h"
#include "ui/look/time_display_choice.h"
#include "ui/panel/event_panel.h"
#include "ui/rows/store_notifier.h"
#include "ui/window/main_view.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

namespace {

// How the lists are named in a session.
const PerKind<QString>& listNames() {
    static const PerKind<QString> names{
        {QStringLiteral("processes"), QStringLiteral("files"), QStringLiteral("others")}};
    return names;
}

QString fieldName(FieldId key) {
    const std::string_view name = rowField(key).name;
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

std::optional<FieldId> fieldOf(const QJsonValue& value) {
    return value.isString() ? fieldNamed(value.toString().toStdString()) : std::nullopt;
}

QJsonObject namedJson(const WindowMarks::NamedLine& name) {
    return QJsonObject{
        {QStringLiteral("log"), QString::fromStdString(name.log)},
        {QStringLiteral("line"), static_cast<qint64>(name.place.line)},
        {QStringLiteral("checksum"),
         QString::number(name.place.checksum, 16).rightJustified(16, QLatin1Char('0'))}};
}

}  // namespace

SessionViewState::SessionViewState(MainView& view, WindowMarks& marks, QObject* parent)
    : QObject(parent), view_(view), marks_(marks) {
    for (const RowKind kind : kRowKinds) {
        EventPreview* preview = view_.panel(kind)->preview();
        connect(preview->headers(), &ColumnHeaders::titleClicked, this, &SessionViewState::changed);
        connect(&preview->columns(), &ColumnLayout::widthsChanged, this,
                &SessionViewState::changed);
        connect(preview->list()->verticalScrollBar(), &QScrollBar::valueChanged, this,
                &SessionViewState::changed);
        // The rows settle: what waits may be placed now.
        connect(&preview->sortedRows(), &RowSource::rowsReplaced, this,
                &SessionViewState::placeRows);
        connect(&preview->sortedRows(), &SortedRowSource::orderChanged, this,
                &SessionViewState::placeRows);
        connect(&preview->filteredRows(), &FilteredRowSource::searchChanged, this,
                &SessionViewState::placeRows);
    }
    connect(&TimeDisplayChoice::instance(), &TimeDisplayChoice::displayChanged, this,
            &SessionViewState::changed);
    connect(&view_.notifier(), &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        for (const RowKind kind : kRowKinds) {
            if (StoreNotifier::has(fields, activeRowField(kind))) {
                emit changed();
            }
        }
        if (StoreNotifier::has(fields, StoreField::loadProgress)) {
            placeRows();
        }
    });
}

QJsonValue SessionViewState::nameOf(LinePlace entry) const {
    const std::optional<WindowMarks::NamedLine> name = marks_.nameOf(entry);
    return name ? QJsonValue(namedJson(*name)) : QJsonValue();
}

std::optional<WindowMarks::NamedLine> SessionViewState::lineNamed(const QJsonValue& value) const {
    const QJsonObject o = value.toObject();
    const QJsonValue log = o.value(QStringLiteral("log"));
    const qint64 line = o.value(QStringLiteral("line")).toInteger(0);
    bool ok = false;
    const std::uint64_t checksum =
        o.value(QStringLiteral("checksum")).toString().toULongLong(&ok, 16);
    if (!log.isString() || line < 1 || !ok) {
        return std::nullopt;
    }
    return WindowMarks::NamedLine{log.toString().toStdString(),
                                  {static_cast<std::uint64_t>(line), checksum}};
}

void SessionViewState::write(QJsonObject& view) const {
    QJsonObject sort;
    QJsonObject columns;
    QJsonObject scroll;
    for (const RowKind kind : kRowKinds) {
        EventPreview* preview = view_.panel(kind)->preview();
        const QString& list = listNames()[kind];
        if (const std::optional<FieldId> key = preview->sortedRows().sortKey()) {
            sort.insert(list, QJsonObject{{QStringLiteral("field"), fieldName(*key)},
                                          {QStringLiteral("descending"),
                                           preview->sortedRows().descending()}});
        }
        QJsonArray shown;
        const ColumnLayout& layout = preview->columns();
        for (int i = 0; i < layout.count(); ++i) {
            shown.append(
                QJsonObject{{QStringLiteral("field"), fieldName(layout.column(i).key)},
                            {QStringLiteral("width"), layout.isLast(i) ? 0 : layout.width(i, 0)}});
        }
        columns.insert(list, shown);
        // A first row that waits is kept as it was named.
        QJsonValue first;
        if (firstRows_[kind]) {
            first = namedJson(*firstRows_[kind]);
        } else if (preview->sortedRows().rowCount() > 0) {
            first = nameOf(preview->sortedRows().rowPlace(preview->list()->firstRow()));
        }
        if (!first.isNull()) {
            scroll.insert(list, first);
        }
    }
    view.insert(QStringLiteral("sort"), sort);
    view.insert(QStringLiteral("columns"), columns);
    view.insert(QStringLiteral("scroll"), scroll);
    view.insert(QStringLiteral("time_display"),
                TimeDisplayChoice::nameOf(TimeDisplayChoice::instance().display()));
    QJsonValue chosen;
    if (chosen_) {
        chosen = namedJson(*chosen_);
    } else {
        auto* front = qobject_cast<EventPanel*>(view_.tabs()->currentWidget());
        if (front != nullptr && front->preview()->selector().selected()) {
            chosen = nameOf(*front->preview()->selector().selected());
        }
    }
    if (!chosen.isNull()) {
        view.insert(QStringLiteral("chosen_row"), chosen);
    }
}

void SessionViewState::apply(const QJsonObject& view) {
    const QJsonObject sort = view.value(QStringLiteral("sort")).toObject();
    const QJsonObject columns = view.value(QStringLiteral("columns")).toObject();
    const QJsonObject scroll = view.value(QStringLiteral("scroll")).toObject();
    for (const RowKind kind : kRowKinds) {
        EventPreview* preview = view_.panel(kind)->preview();
        const QString& list = listNames()[kind];
        if (columns.value(list).isArray()) {
            std::vector<std::pair<FieldId, int>> shown;
            for (const QJsonValue column : columns.value(list).toArray()) {
                const QJsonObject c = column.toObject();
                if (const std::optional<FieldId> key = fieldOf(c.value(QStringLiteral("field")))) {
                    shown.emplace_back(*key, c.value(QStringLiteral("width")).toInt(0));
                }
            }
            preview->columnChoice().setShownColumns(shown);
        }
        if (view.value(QStringLiteral("sort")).isObject()) {
            const QJsonObject s = sort.value(list).toObject();
            const std::optional<FieldId> key = fieldOf(s.value(QStringLiteral("field")));
            const bool descending = s.value(QStringLiteral("descending")).toBool(false);
            preview->sortedRows().setSort(key, descending);
            int column = -1;
            for (int i = 0; key && i < preview->columns().count(); ++i) {
                column = preview->columns().column(i).key == *key ? i : column;
            }
            preview->headers()->setSortArrow(column, descending);
        }
        firstRows_[kind] = lineNamed(scroll.value(list));
    }
    if (const auto display =
            TimeDisplayChoice::named(view.value(QStringLiteral("time_display")).toString())) {
        TimeDisplayChoice::instance().setDisplay(*display);
    }
    chosen_ = lineNamed(view.value(QStringLiteral("chosen_row")));
    // The logs may have been loaded already; else their loads start after this.
    QTimer::singleShot(0, this, &SessionViewState::placeRows);
    emit changed();
}

bool SessionViewState::waiting() const {
    return chosen_ || std::any_of(firstRows_.begin(), firstRows_.end(),
                                  [](const auto& first) { return first.has_value(); });
}

bool SessionViewState::settled() const {
    if (!view_.workspace().loader.idle()) {
        return false;
    }
    for (const RowKind kind : kRowKinds) {
        EventPreview* preview = view_.panel(kind)->preview();
        if (preview->filteredRows().searching() || !preview->sortedRows().sorted()) {
            return false;
        }
    }
    return true;
}

void SessionViewState::placeRows() {
    if (!waiting() || !settled()) {
        return;
    }
    if (const std::optional<WindowMarks::NamedLine> chosen = std::exchange(chosen_, {})) {
        const std::optional<LinePlace> entry = marks_.entryOf(*chosen);
        const auto at = entry ? view_.workspace().store.rowAt(*entry) : std::nullopt;
        if (at) {
            EventPanel* panel = view_.panel(at->kind);
            const int row = panel->preview()->sortedRows().shownRowAt(*entry);
            if (row >= 0 && view_.tabs()->indexOf(panel) >= 0) {
                view_.tabs()->setCurrentWidget(panel);
                panel->preview()->chooseRow(row);
            }
        }
    }
    // Then the first rows, which choosing may have scrolled away from.
    for (const RowKind kind : kRowKinds) {
        if (const std::optional<WindowMarks::NamedLine> first =
                std::exchange(firstRows_[kind], {})) {
            if (const std::optional<LinePlace> entry = marks_.entryOf(*first)) {
                EventPreview* preview = view_.panel(kind)->preview();
                const int row = preview->sortedRows().shownRowAt(*entry);
                if (row >= 0) {
                    preview->list()->verticalScrollBar()->setValue(row);
                }
            }
        }
    }
    emit changed();
}

}  // namespace korvantis::ui
