#include "ui/window/summary_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>
#include <optional>

#include "describe/time_text.h"
#include "query/rows_snapshot.h"
#include "ui/list/bidi_isolation.h"
#include "ui/look/style.h"
#include "ui/look/view_texts.h"
#include "ui/look/worker_priority.h"

namespace korvantis::ui {

namespace {

// What an entry's item keeps: its section (the kind) and its place in the list.
constexpr int kIndexRole = Qt::UserRole;

constexpr SummaryLine::Kind kSections[] = {SummaryLine::Kind::type, SummaryLine::Kind::program,
                                           SummaryLine::Kind::path, SummaryLine::Kind::second};

QString sectionTitle(SummaryLine::Kind kind) {
    switch (kind) {
        case SummaryLine::Kind::type:
            return QObject::tr("Events per type");
        case SummaryLine::Kind::program:
            return QObject::tr("Programs with most events");
        case SummaryLine::Kind::path:
            return QObject::tr("Most touched file paths");
        case SummaryLine::Kind::second:
            break;
    }
    return QObject::tr("Busiest seconds (UTC)");
}

QTreeWidgetItem* entry(QTreeWidgetItem* section, int index, const QString& name,
                       std::uint64_t events, std::optional<std::uint64_t> processes = {}) {
    auto* item = new QTreeWidgetItem(section);
    item->setText(0, name);
    item->setToolTip(0, name);
    item->setText(1, groupedNumber(events));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    if (processes) {
        item->setText(2, groupedNumber(*processes));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    item->setData(0, kIndexRole, index);
    return item;
}

QString shownPath(const std::string& path) {
    return isolatePathParts(QString::fromStdString(path)).shown;
}

}  // namespace

SummaryWindow::SummaryWindow(StoreNotifier& notifier, QWidget* parent)
    : QWidget(parent, Qt::Window), notifier_(notifier) {
    setWindowTitle(tr("Summary"));
    pool_.setMaxThreadCount(1);
    total_ = new QLabel(this);
    lines_ = new QTreeWidget(this);
    lines_->setColumnCount(3);
    lines_->setHeaderLabels({tr("Name"), tr("Events"), tr("Processes")});
    lines_->setRootIsDecorated(false);
    lines_->setUniformRowHeights(true);
    lines_->header()->setStretchLastSection(false);
    lines_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lines_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lines_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    for (const SummaryLine::Kind kind : kSections) {
        auto* item = new QTreeWidgetItem(lines_, {sectionTitle(kind)});
        QFont bold = item->font(0);
        bold.setBold(true);
        item->setFont(0, bold);
        item->setFlags(Qt::ItemIsEnabled);
        item->setExpanded(true);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(total_);
    layout->addWidget(lines_, 1);
    resize(720, 640);
    connect(lines_, &QTreeWidget::itemClicked, this, &SummaryWindow::choose);
    connect(&notifier_, &StoreNotifier::changed, this, [this](StoreNotifier::Fields fields) {
        if (isVisible() && (StoreNotifier::has(fields, StoreField::processRows) ||
                            StoreNotifier::has(fields, StoreField::fileRows) ||
                            StoreNotifier::has(fields, StoreField::otherRows))) {
            recount();
        }
    });
}

SummaryWindow::~SummaryWindow() {
    pool_.clear();
    pool_.waitForDone();
}

QTreeWidgetItem* SummaryWindow::section(SummaryLine::Kind kind) const {
    return lines_->topLevelItem(static_cast<int>(kind));
}

void SummaryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    recount();
}

void SummaryWindow::recount() {
    counted_ = false;
    if (running_) {
        again_ = true;
        return;
    }
    running_ = true;
    again_ = false;
    auto snapshot = std::make_shared<RowsSnapshot>(RowsSnapshot::of(notifier_.workspace().store));
    pool_.start([this, snapshot] {
        lowerWorkerPriority();
        auto summary = std::make_shared<TraceSummary>(summarizeTrace(*snapshot));
        QMetaObject::invokeMethod(
            this, [this, summary] { finished(std::move(*summary)); }, Qt::QueuedConnection);
    });
}

void SummaryWindow::finished(TraceSummary summary) {
    // Shown even when rows came meanwhile: during a load, the lines grow.
    running_ = false;
    summary_ = std::move(summary);
    fill();
    if (again_) {
        recount();
    } else {
        counted_ = true;
    }
}

void SummaryWindow::fill() {
    total_->setText(tr("%1 events").arg(groupedNumber(summary_.rows)));
    for (const SummaryLine::Kind kind : kSections) {
        qDeleteAll(section(kind)->takeChildren());
    }
    int i = 0;
    for (const NamedCount& t : summary_.types) {
        entry(section(SummaryLine::Kind::type), i++, QString::fromStdString(t.name), t.events);
    }
    i = 0;
    for (const NamedCount& p : summary_.programs) {
        entry(section(SummaryLine::Kind::program), i++, shownPath(p.name), p.events, p.processes);
    }
    i = 0;
    for (const NamedCount& p : summary_.paths) {
        entry(section(SummaryLine::Kind::path), i++, shownPath(p.name), p.events);
    }
    i = 0;
    for (const BusySecond& s : summary_.seconds) {
        const std::string start = shownTime(TimeDisplay::utc, {}, s.start, s.start);
        entry(section(SummaryLine::Kind::second), i++, QString::fromStdString(start.substr(0, 19)),
              s.rows);
    }
}

void SummaryWindow::choose(QTreeWidgetItem* item) {
    QTreeWidgetItem* parent = item == nullptr ? nullptr : item->parent();
    if (parent == nullptr) {
        return;  // a section's title
    }
    const auto kind = static_cast<SummaryLine::Kind>(lines_->indexOfTopLevelItem(parent));
    const auto index = static_cast<std::size_t>(item->data(0, kIndexRole).toInt());
    SummaryLine line{kind, {}, 0};
    switch (kind) {
        case SummaryLine::Kind::type:
            line.name = summary_.types.at(index).name;
            break;
        case SummaryLine::Kind::program:
            line.name = summary_.programs.at(index).name;
            break;
        case SummaryLine::Kind::path:
            line.name = summary_.paths.at(index).name;
            break;
        case SummaryLine::Kind::second:
            line.start = summary_.seconds.at(index).start;
            break;
    }
    emit lineChosen(line);
}

}  // namespace korvantis::ui
