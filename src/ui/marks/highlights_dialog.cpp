// The dialog that edits a window's highlight rules.

#include "ui/marks/highlights_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "query/filter_query.h"
#include "ui/look/style.h"
#include "ui/look/view_texts.h"

namespace korvantis::ui {

namespace {

enum Column { on, name, query, colour };

}  // namespace

HighlightsDialog::HighlightsDialog(const QVector<HighlightRule>& initial, QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(0, 4, this)), problem_(new QLabel(this)) {
    setWindowTitle(highlightsTitle());
    table_->setHorizontalHeaderLabels(highlightsHeaders());
    table_->horizontalHeader()->setSectionResizeMode(Column::query, QHeaderView::Stretch);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    for (const HighlightRule& rule : initial) {
        addRule(rule);
    }
    problem_->setTextFormat(Qt::PlainText);
    problem_->setStyleSheet(QStringLiteral("color: %1").arg(filterErrorColor(palette()).name()));
    problem_->hide();

    auto* edits = new QHBoxLayout;
    const auto button = [this, edits](const QString& text, auto action) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, action);
        edits->addWidget(b);
    };
    button(addRuleText(), [this] {
        addRule({newRuleName(table_->rowCount() + 1), QString(),
                 highlightColourNames().value(table_->rowCount() % highlightColourNames().size()),
                 true});
        table_->setCurrentCell(table_->rowCount() - 1, Column::query);
    });
    button(removeRuleText(), [this] {
        if (table_->currentRow() >= 0) {
            table_->removeRow(table_->currentRow());
        }
    });
    button(moveUpText(), [this] { moveChosen(-1); });
    button(moveDownText(), [this] { moveChosen(1); });
    edits->addStretch(1);
    button(saveAsDefaultText(), [this] { emit defaultAsked(rules()); });

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &HighlightsDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &HighlightsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(edits);
    layout->addWidget(problem_);
    layout->addWidget(box);
    resize(640, 320);
}

void HighlightsDialog::addRule(const HighlightRule& rule) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    auto* on = new QTableWidgetItem;
    on->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    on->setCheckState(rule.on ? Qt::Checked : Qt::Unchecked);
    table_->setItem(row, Column::on, on);
    table_->setItem(row, Column::name, new QTableWidgetItem(rule.name));
    table_->setItem(row, Column::query, new QTableWidgetItem(rule.query));
    auto* colours = new QComboBox(table_);
    for (const QString& colour : highlightColourNames()) {
        colours->addItem(highlightColourLabel(colour), colour);
        colours->setItemData(colours->count() - 1, highlightColor(colour, palette()),
                             Qt::BackgroundRole);
    }
    colours->setCurrentIndex(
        std::max<int>(0, static_cast<int>(highlightColourNames().indexOf(rule.colour))));
    table_->setCellWidget(row, Column::colour, colours);
}

QVector<HighlightRule> HighlightsDialog::rules() const {
    QVector<HighlightRule> rules;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const auto* colours = qobject_cast<QComboBox*>(table_->cellWidget(row, Column::colour));
        rules.append({table_->item(row, Column::name)->text(),
                      table_->item(row, Column::query)->text(), colours->currentData().toString(),
                      table_->item(row, Column::on)->checkState() == Qt::Checked});
    }
    return rules;
}

void HighlightsDialog::moveChosen(int step) {
    const int from = table_->currentRow();
    const int to = from + step;
    if (from < 0 || to < 0 || to >= table_->rowCount()) {
        return;
    }
    QVector<HighlightRule> all = rules();
    all.move(from, to);
    table_->setRowCount(0);
    for (const HighlightRule& rule : all) {
        addRule(rule);
    }
    table_->setCurrentCell(to, Column::name);
}

void HighlightsDialog::accept() {
    for (const HighlightRule& rule : rules()) {
        const ParsedFilterQuery parsed = parseFilterQuery(rule.query.toStdString());
        if (!parsed.query) {
            problem_->setText(badRuleQueryText(rule.name, QString::fromStdString(parsed.error)));
            problem_->show();
            return;
        }
    }
    QDialog::accept();
}

}  // namespace korvantis::ui
