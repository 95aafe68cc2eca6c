#include "ui/window/detections_panel.h"

#include <QHeaderView>
#include <QSet>

#include <optional>

#include "decode/row_facts.h"
#include "store/event_store.h"
#include "ui/look/style.h"
#include "ui/look/time_display_choice.h"
#include "ui/look/view_texts.h"
#include "ui/rows/store_row_source.h"

namespace korvantis::ui {

namespace {

// Where an item's rule and row are kept.
constexpr int kTallyRole = Qt::UserRole;    // rule lines: index in tallies
constexpr int kHitRole = Qt::UserRole + 1;  // row lines: index in the rule's rows
enum Column { level, title, count, image, commandLine };

QString text(std::string_view t) {
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

QString ruleKey(const RuleTally& tally) {
    return QString::number(tally.rule) + u'\n' + QString::fromStdString(tally.title);
}

}  // namespace

DetectionsPanel::DetectionsPanel(const EventStore& store, QWidget* parent)
    : QTreeWidget(parent), store_(store) {
    setObjectName(QStringLiteral("detections"));
    setHeaderLabels(detectionsHeaderTexts().split(u'\n'));
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    header()->setStretchLastSection(true);
    setColumnWidth(level, 110);
    setColumnWidth(title, 360);
    setColumnWidth(count, 90);
    setColumnWidth(image, 280);
    connect(this, &QTreeWidget::itemExpanded, this, &DetectionsPanel::fill);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (const auto place = placeOf(item)) {
            emit rowChosen(*place);
        }
    });
    connect(&TimeDisplayChoice::instance(), &TimeDisplayChoice::displayChanged, this,
            &DetectionsPanel::showTimesAgain);
}

void DetectionsPanel::showTimesAgain() {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* ruleItem = topLevelItem(i);
        const RuleTally& tally = tallies_.rules[ruleItem->data(level, kTallyRole).toULongLong()];
        for (int c = 0; c < ruleItem->childCount(); ++c) {
            QTreeWidgetItem* item = ruleItem->child(c);
            const QVariant hit = item->data(level, kHitRole);
            if (hit.isValid()) {
                const RuleHitRow& row = tally.rows[hit.toULongLong()];
                item->setText(title, timeText(store_.row(row.kind, row.row), store_));
            }
        }
    }
}

void DetectionsPanel::show(const RuleTallies& tallies) {
    QSet<QString> expanded;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->isExpanded()) {
            expanded.insert(ruleKey(tallies_.rules[static_cast<std::size_t>(i)]));
        }
    }
    tallies_ = tallies;
    clear();
    for (std::size_t i = 0; i < tallies_.rules.size(); ++i) {
        const RuleTally& tally = tallies_.rules[i];
        auto* item = new QTreeWidgetItem(this);
        item->setText(level, text(ruleLevelName(tally.level)));
        item->setForeground(level, ruleLevelColor(tally.level, palette()));
        item->setText(title, QString::fromStdString(tally.title));
        item->setToolTip(title, QString::fromStdString(tally.description));
        item->setText(count, groupedNumber(tally.rows.size()));
        item->setTextAlignment(count, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(level, kTallyRole, static_cast<qulonglong>(i));
        // Rows are listed when the rule is expanded.
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        if (expanded.contains(ruleKey(tally))) {
            item->setExpanded(true);
        }
    }
}

void DetectionsPanel::fill(QTreeWidgetItem* ruleItem) {
    if (ruleItem->parent() != nullptr || ruleItem->childCount() != 0) {
        return;
    }
    const RuleTally& tally = tallies_.rules[ruleItem->data(level, kTallyRole).toULongLong()];
    const std::size_t listed = std::min<std::size_t>(tally.rows.size(), kListedRows);
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(listed + 1));
    for (std::size_t k = 0; k < listed; ++k) {
        const RuleHitRow& hit = tally.rows[k];
        const RowView row = store_.rows(hit.kind).rowView(hit.row);
        auto* item = new QTreeWidgetItem;
        item->setText(title, timeText(row, store_));
        item->setText(count, QString::number(row.pid));
        item->setTextAlignment(count, Qt::AlignRight | Qt::AlignVCenter);
        // Image: the program, which for a file row is the one that wrote it.
        const std::string_view program = row.facts[Fact::process_path];
        item->setText(image,
                      text(row.kind == RowKind::process || program.empty() ? row.path : program));
        item->setText(commandLine, text(row.facts[Fact::args]));
        item->setData(level, kHitRole, static_cast<qulonglong>(k));
        children.push_back(item);
    }
    if (listed < tally.rows.size()) {
        auto* more = new QTreeWidgetItem;
        more->setText(title, moreHitRowsText(tally.rows.size() - listed));
        children.push_back(more);
    }
    ruleItem->addChildren(children);
}

std::optional<LinePlace> DetectionsPanel::placeOf(const QTreeWidgetItem* item) const {
    const QTreeWidgetItem* ruleItem = item->parent();
    if (ruleItem == nullptr || !item->data(level, kHitRole).isValid()) {
        return std::nullopt;
    }
    const RuleTally& tally = tallies_.rules[ruleItem->data(level, kTallyRole).toULongLong()];
    const RuleHitRow& hit = tally.rows[item->data(level, kHitRole).toULongLong()];
    return store_.rows(hit.kind).placeOf(hit.row);
}

}  // namespace korvantis::ui
