#include "ui/event_panel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QMimeData>
#include <QScrollBar>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/detail_area.h"

namespace korvantis::ui {

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// The paths of the files among the dragged URLs, in the order given.
QStringList localFiles(const QMimeData* mime) {
    QStringList paths;
    if (mime == nullptr || !mime->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    return paths;
}

}  // namespace

EventPreview::EventPreview(StoreNotifier& notifier, RowKind kind, QWidget* parent)
    : QWidget(parent),
      workspace_(notifier.workspace()),
      rows_(std::make_unique<FilteredRowSource>(kind, notifier)),
      sorted_(std::make_unique<SortedRowSource>(*rows_)),
      columns_(new ColumnLayout(panelColumns(kind), this)) {
    headers_ = new ColumnHeaders(*columns_, this);
    list_ = new PreviewList(*sorted_, *columns_, this);
    list_->setFrameShape(QFrame::NoFrame);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(headers_);
    layout->addWidget(divider(this));
    layout->addWidget(list_, 1);
    layout->addWidget(divider(this));

    connect(list_->horizontalScrollBar(), &QScrollBar::valueChanged, headers_,
            &ColumnHeaders::setHorizontalOffset);
    connect(list_, &PreviewList::rowClicked, this, &EventPreview::chooseRow);
    // After the list has forgotten its chosen row.
    connect(sorted_.get(), &RowSource::rowsReplaced, this, &EventPreview::keepChosenRow);
    connect(headers_, &ColumnHeaders::titleClicked, this, &EventPreview::cycleSort);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (RowMenu* menu = menuForRow(list_->rowAt(pos.y()))) {
            menu->popup(list_->viewport()->mapToGlobal(pos));
        }
    });
}

void EventPreview::cycleSort(int column) {
    const FieldKey key = columns_->column(column).key;
    if (sorted_->sortKey() != key) {
        sorted_->setSort(key, false);
    } else if (!sorted_->descending()) {
        sorted_->setSort(key, true);
    } else {
        sorted_->setSort(std::nullopt);
    }
    headers_->setSortArrow(sorted_->sortKey() ? column : -1, sorted_->descending());
}

void EventPreview::keepChosenRow() {
    const int row = sorted_->shownRowOf(selector_.selectedId());
    if (row >= 0) {
        list_->setChosenRow(row);
    }
}

RowMenu* EventPreview::menuForRow(int row) {
    if (row < 0 || row >= sorted_->rowCount()) {
        return nullptr;
    }
    RowFacts facts;
    facts.pid = sorted_->text(row, FieldKey::pid).toLongLong();
    facts.path = sorted_->text(row, FieldKey::path);
    QStringList cells;
    for (const EventColumn& column : columns_->columns().columns) {
        cells.append(sorted_->text(row, column.key));
    }
    facts.rowText = cells.join(QLatin1Char('\t'));
    auto* menu = new RowMenu(facts, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu, &RowMenu::filterActionChosen, this, &EventPreview::filterActionChosen);
    return menu;
}

EventPreview::~EventPreview() = default;

void EventPreview::chooseRow(int row) {
    if (row < 0 || row >= sorted_->rowCount()) {
        return;
    }
    const Uuid id = sorted_->rowId(row);
    if (id == selector_.selectedId()) {
        return;
    }
    workspace_.switches.setShowErrors(false);
    workspace_.switches.setShowLegend(false);
    selector_.setSelectedId(id);
    list_->setChosenRow(row);
    workspace_.selection.selectEvent(selector_.selectedId());
}

EventPanel::EventPanel(StoreNotifier& notifier, RowKind kind, QWidget* parent)
    : QWidget(parent),
      workspace_(notifier.workspace()),
      preview_(new EventPreview(notifier, kind)) {
    setAcceptDrops(true);
    detail_ = new DetailArea(notifier, this);
    // The list and the detail area share the height; the user may move the border.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setChildrenCollapsible(false);
    split->addWidget(preview_);
    split->addWidget(detail_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
}

void EventPanel::dragEnterEvent(QDragEnterEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void EventPanel::dragMoveEvent(QDragMoveEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void EventPanel::dropEvent(QDropEvent* event) {
    const QStringList paths = localFiles(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    // Every file, in the order given; each load appends like an import.
    for (const QString& path : paths) {
        workspace_.loader.loadJsonFile(QFile::encodeName(path).toStdString());
    }
    event->acceptProposedAction();
}

}  // namespace korvantis::ui
