// The list of a window's marks.

#include "ui/marks/marks_panel.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "store/event_store.h"
#include "ui/look/view_texts.h"
#include "ui/marks/window_marks.h"

namespace korvantis::ui {

namespace {

QString utf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The row that stored line `entry` made, in whichever list it is.
std::optional<RowView> rowAt(const EventStore& store, LinePlace entry) {
    if (const auto at = store.rowAt(entry)) {
        return store.row(at->kind, at->index.value());
    }
    return std::nullopt;
}

QString firstLine(std::string_view note) {
    return utf8(note.substr(0, note.find('\n')));
}

constexpr int kEntryRole = Qt::UserRole;

}  // namespace

MarksPanel::MarksPanel(const EventStore& store, WindowMarks& marks, QWidget* parent)
    : QWidget(parent, Qt::Tool), store_(store), marks_(marks), list_(new QTreeWidget(this)) {
    setWindowTitle(marksPanelTitle());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels(marksPanelHeaders());
    list_->header()->setStretchLastSection(true);
    connect(list_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QVariant entry = item->data(0, kEntryRole);
        if (entry.isValid()) {
            emit rowChosen(LinePlace(entry.toULongLong()));
        }
    });
    connect(&marks_, &WindowMarks::changed, this, &MarksPanel::fill);
    resize(720, 320);
    fill();
}

void MarksPanel::fill() {
    list_->clear();
    struct Shown {
        LinePlace entry;
        RowView row;
        const MarkText* text;
    };
    std::vector<Shown> shown;
    for (const auto& [entry, text] : marks_.marked()) {
        if (const auto row = rowAt(store_, entry)) {
            shown.push_back({entry, *row, text});
        }
    }
    // In time order; rows without a time, and equal times, in load order.
    std::stable_sort(shown.begin(), shown.end(), [](const Shown& a, const Shown& b) {
        return a.row.time != kNoTimeValue &&
               (b.row.time == kNoTimeValue || a.row.time < b.row.time);
    });
    QList<QTreeWidgetItem*> items;
    for (const Shown& s : shown) {
        auto* item = new QTreeWidgetItem({utf8(s.row.timestamp), utf8(s.row.type),
                                          QString::number(s.row.pid), utf8(s.row.path),
                                          utf8(s.text->tags), firstLine(s.text->note)});
        item->setData(0, kEntryRole, QVariant::fromValue<qulonglong>(s.entry.value()));
        items.append(item);
    }
    for (const WindowMarks::DetachedMark& d : marks_.detached()) {
        auto* item = new QTreeWidgetItem({detachedMarkText(d.line),
                                          {},
                                          {},
                                          QString::fromStdString(d.log),
                                          utf8(d.text->tags),
                                          firstLine(d.text->note)});
        item->setDisabled(true);
        items.append(item);
    }
    list_->addTopLevelItems(items);
}

}  // namespace korvantis::ui
