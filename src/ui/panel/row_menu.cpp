#include "ui/panel/row_menu.h"

#include <QClipboard>
#include <QGuiApplication>

#include "ui/look/view_texts.h"

namespace korvantis::ui {

RowMenu::RowMenu(const RowMenuFacts& facts, QWidget* parent) : QMenu(parent) {
    auto filter = [this, facts](const QString& text, RowFilterAction action) {
        QAction* a = addAction(text);
        connect(a, &QAction::triggered, this,
                [this, facts, action] { emit filterActionChosen(action, facts.pid, facts.path); });
        return a;
    };
    auto copy = [this](const QString& text, const QString& copied) {
        QAction* a = addAction(text);
        connect(a, &QAction::triggered, this,
                [copied] { QGuiApplication::clipboard()->setText(copied); });
        return a;
    };
    onlyProcess_ = filter(onlyThisProcessText(), RowFilterAction::onlyProcess);
    processTree_ = filter(processAndChildrenText(), RowFilterAction::processTree);
    hidePath_ = filter(hideThisPathText(), RowFilterAction::hidePath);
    hidePath_->setEnabled(!facts.path.isEmpty());
    auto factFilter = [this](const QString& text, Fact fact, const QString& value) {
        QAction* a = addAction(text);
        connect(a, &QAction::triggered, this,
                [this, fact, value] { emit factFilterChosen(fact, value); });
        return a;
    };
    if (!facts.uid.isEmpty()) {
        onlyUser_ = factFilter(onlyThisUserText(), Fact::uid, facts.uid);
    }
    if (!facts.signingId.isEmpty()) {
        onlySigner_ = factFilter(onlyThisSignerText(), Fact::signing_id, facts.signingId);
    }
    if (!facts.rules.isEmpty()) {
        QMenu* under = this;
        if (facts.rules.size() > 1) {
            under = addMenu(onlyRowsOfRuleText());
        }
        for (const RowMenuFacts::Rule& rule : facts.rules) {
            QAction* a =
                under->addAction(facts.rules.size() > 1 ? rule.title : onlyRowsOfRuleText());
            connect(a, &QAction::triggered, this,
                    [this, term = rule.term] { emit ruleFilterChosen(term); });
            onlyRule_.push_back(a);
        }
    }
    addSeparator();
    copyRow_ = copy(copyRowText(), facts.rowText);
    copyPath_ = copy(copyPathText(), facts.path);
    copyPid_ = copy(copyPidText(), QString::number(facts.pid));
    if (facts.commandLine) {
        copyCommandLine_ = addAction(copyCommandLineText());
        connect(copyCommandLine_, &QAction::triggered, this,
                [line = facts.commandLine] { QGuiApplication::clipboard()->setText(line()); });
    }
}

}  // namespace korvantis::ui
