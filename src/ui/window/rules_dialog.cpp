#include "ui/window/rules_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/look/style.h"
#include "ui/look/view_texts.h"
#include "ui/window/detection_rules.h"

namespace korvantis::ui {

RulesDialog::RulesDialog(DetectionRules& rules, QWidget* parent) : QDialog(parent), rules_(rules) {
    setWindowTitle(detectionRulesDialogTitle());
    resize(820, 560);
    bundled_ = new QCheckBox(bundledRulesSwitchText(), this);
    bundled_->setChecked(DetectionRules::bundledOn());
    folders_ = new QListWidget(this);
    folders_->addItems(DetectionRules::folders());
    folders_->setMaximumHeight(120);
    add_ = new QPushButton(addRuleFolderText(), this);
    remove_ = new QPushButton(removeRuleFolderText(), this);
    reload_ = new QPushButton(reloadRulesText(), this);
    state_ = new QLabel(this);
    entries_ = new QTreeWidget(this);
    entries_->setObjectName(QStringLiteral("ruleEntries"));
    entries_->setHeaderLabels(ruleEntriesHeaderTexts().split(u'\n'));
    entries_->setRootIsDecorated(false);
    entries_->setUniformRowHeights(true);
    entries_->setColumnWidth(0, 300);
    entries_->setColumnWidth(1, 80);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addWidget(reload_);
    buttons->addStretch();
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folders_, 1);
    folderRow->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bundled_);
    layout->addWidget(new QLabel(ruleFoldersText(), this));
    layout->addLayout(folderRow);
    layout->addWidget(state_);
    layout->addWidget(entries_, 1);

    connect(bundled_, &QCheckBox::toggled, this, [this](bool on) {
        DetectionRules::setBundledOn(on);
        rules_.reload();
        showEntries();
    });
    connect(add_, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, addRuleFolderText());
        if (!folder.isEmpty()) {
            addFolder(folder);
        }
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        delete folders_->currentItem();
        saveFolders();
    });
    connect(folders_, &QListWidget::currentRowChanged, this,
            [this](int row) { remove_->setEnabled(row >= 0); });
    remove_->setEnabled(false);
    connect(reload_, &QPushButton::clicked, this, [this] {
        rules_.reload();
        showEntries();
    });
    connect(&rules_, &DetectionRules::entriesChanged, this, &RulesDialog::showEntries);
    connect(&rules_, &DetectionRules::applied, this, &RulesDialog::showEntries);
    showEntries();
}

void RulesDialog::addFolder(const QString& folder) {
    if (folders_->findItems(folder, Qt::MatchExactly).isEmpty()) {
        folders_->addItem(folder);
        saveFolders();
    }
}

void RulesDialog::saveFolders() {
    QStringList folders;
    for (int i = 0; i < folders_->count(); ++i) {
        folders.push_back(folders_->item(i)->text());
    }
    DetectionRules::setFolders(folders);
    rules_.reload();
    showEntries();
}

void RulesDialog::showEntries() {
    entries_->clear();
    if (rules_.busy() && rules_.entries().empty()) {
        state_->setText(loadingRulesText());
        return;
    }
    std::size_t skipped = 0;
    QList<QTreeWidgetItem*> items;
    for (const RuleEntry& entry : rules_.entries()) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::fromStdString(entry.label));
        item->setText(1, ruleEntryStateText(entry.loaded));
        QString detail = QString::fromStdString(entry.text);
        if (!entry.neverPresent.empty()) {
            QStringList fields;
            for (const std::string& field : entry.neverPresent) {
                fields.push_back(QString::fromStdString(field));
            }
            detail += QStringLiteral(" \u2014 ") + neverPresentText(fields);
        }
        item->setText(2, detail);
        item->setToolTip(2, detail);
        if (!entry.loaded) {
            ++skipped;
            item->setForeground(1, filterErrorColor(palette()));
        }
        items.push_back(item);
    }
    entries_->addTopLevelItems(items);
    state_->setText(rules_.busy() ? loadingRulesText()
                                  : rulesLoadedText(rules_.entries().size() - skipped, skipped));
}

}  // namespace korvantis::ui
