#include "ui/panel/event_panel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QMimeData>
#include <QScrollBar>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "decode/eslogger_facts.h"
#include "rules/rule_hit_sets.h"
#include "ui/look/time_display_choice.h"
#include "ui/panel/detail_area.h"
#include "ui/panel/detail_text_loader.h"

namespace korvantis::ui {

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// The paths of the files among the dragged URLs, in the order given, as the
// bytes the system names them by: from the URL's percent-encoded form, since
// a name that is not valid UTF-8 does not survive a trip through a QString.
std::vector<std::string> localFiles(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())
                                .toStdString());
        }
    }
    return paths;
}

// Files are only ever read: a drop is taken as a copy, never as a move (whose
// source would then delete the user's logs), and refused when the source
// does not offer a copy.
bool acceptAsCopy(QDropEvent* event) {
    if (localFiles(event->mimeData()).empty() ||
        !event->possibleActions().testFlag(Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

}  // namespace

EventPreview::EventPreview(StoreNotifier& notifier, RowKind kind, QWidget* parent)
    : QWidget(parent),
      workspace_(notifier.workspace()),
      rows_(std::make_unique<FilteredRowSource>(kind, notifier)),
      sorted_(std::make_unique<SortedRowSource>(*rows_)),
      columns_(new ColumnLayout(panelColumns(kind), this)),
      choice_(new ColumnChoice(kind, *columns_, this)),
      detailLoader_(new DetailTextLoader(workspace_, this)) {
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
    headers_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(headers_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { columnsMenu()->popup(headers_->mapToGlobal(pos)); });
    connect(headers_, &ColumnHeaders::titleClicked, this, &EventPreview::cycleSort);
    // A double click on a border fits the column to its widest text in view.
    connect(headers_, &ColumnHeaders::borderDoubleClicked, this,
            [this](int column) { columns_->setWidth(column, list_->widestShown(column)); });
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (RowMenu* menu = menuForRow(list_->rowAt(pos.y()))) {
            menu->popup(list_->viewport()->mapToGlobal(pos));
        }
    });
}

void EventPreview::cycleSort(int column) {
    const FieldId key = columns_->column(column).key;
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
    const int row = selector_.selected() ? sorted_->shownRowAt(*selector_.selected()) : -1;
    if (row >= 0) {
        list_->setChosenRow(row);
    }
}

QMenu* EventPreview::columnsMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    choice_->fillMenu(*menu);
    menu->addSeparator();
    TimeDisplayChoice::instance().addActionsTo(menu);
    return menu;
}

RowMenu* EventPreview::menuForRow(int row) {
    if (row < 0 || row >= sorted_->rowCount()) {
        return nullptr;
    }
    const RowView shown = sorted_->row(row);
    RowMenuFacts facts;
    facts.pid = shown.pid;
    facts.path = QString::fromUtf8(shown.path.data(), static_cast<qsizetype>(shown.path.size()));
    facts.uid = sorted_->text(row, fieldOf(Fact::uid));
    facts.signingId = sorted_->text(row, fieldOf(Fact::signing_id));
    if (!shown.facts[Fact::args].empty()) {
        // The whole argument list, read again from the raw line when asked.
        const LinePlace place = sorted_->rowPlace(row);
        const Workspace& workspace = workspace_;
        facts.commandLine = [&workspace, place]() -> QString {
            const auto line = workspace.store.lineText(place);
            const auto text = line ? execCommandLine(*line) : std::nullopt;
            return text ? QString::fromStdString(*text) : QString();
        };
    }
    QStringList cells;
    for (const EventColumn& column : columns_->columns().columns) {
        cells.append(sorted_->text(row, column.key));
    }
    facts.rowText = cells.join(QLatin1Char('\t'));
    if (const RuleHitSet* hits = shown.ruleHits) {
        for (std::size_t k = 0; k < hits->titles.size(); ++k) {
            const QString title = QString::fromStdString(hits->titles[k]);
            const std::string& id = k < hits->perRuleIds.size() ? hits->perRuleIds[k] : "";
            facts.rules.push_back({title, id.empty() ? title : QString::fromStdString(id)});
        }
    }
    auto* menu = new RowMenu(facts, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu, &RowMenu::filterActionChosen, this, &EventPreview::filterActionChosen);
    connect(menu, &RowMenu::factFilterChosen, this, &EventPreview::factFilterChosen);
    emit rowMenuMade(menu, row);
    connect(menu, &RowMenu::ruleFilterChosen, this, &EventPreview::ruleFilterChosen);
    return menu;
}

EventPreview::~EventPreview() = default;

void EventPreview::chooseRow(int row) {
    if (row < 0 || row >= sorted_->rowCount()) {
        return;
    }
    const LinePlace place = sorted_->rowPlace(row);
    if (selector_.selected() == place) {
        return;
    }
    workspace_.switches.setShowErrors(false);
    workspace_.switches.setShowLegend(false);
    selector_.setSelected(place);
    list_->setChosenRow(row);
    detailLoader_->choose(place);
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
    acceptAsCopy(event);
}

void EventPanel::dragMoveEvent(QDragMoveEvent* event) {
    acceptAsCopy(event);
}

void EventPanel::dropEvent(QDropEvent* event) {
    if (!acceptAsCopy(event)) {
        return;
    }
    const std::vector<std::string> paths = localFiles(event->mimeData());
    // Every file, in the order given; each load appends like an import.
    for (const std::string& path : paths) {
        workspace_.loader.loadJsonFile(path);
    }
}

}  // namespace korvantis::ui
