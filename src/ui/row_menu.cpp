#include "ui/row_menu.h"

#include <QClipboard>
#include <QGuiApplication>

#include "ui/style.h"

namespace korvantis::ui {

RowMenu::RowMenu(const RowFacts& facts, QWidget* parent) : QMenu(parent) {
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
    addSeparator();
    copyRow_ = copy(copyRowText(), facts.rowText);
    copyPath_ = copy(copyPathText(), facts.path);
    copyPid_ = copy(copyPidText(), QString::number(facts.pid));
}

}  // namespace korvantis::ui
