#include "ui/window/main_menu_bar.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>

#include "index/index_cache.h"
#include "ui/list/column_choice.h"
#include "ui/look/time_display_choice.h"
#include "ui/look/view_texts.h"
#include "ui/look/viewer_settings.h"
#include "ui/look/window_keys.h"
#include "ui/look/wrap_choice.h"
#include "ui/panel/event_panel.h"
#include "ui/window/about_box.h"
#include "ui/window/clickhouse_menu.h"
#include "ui/window/export_action.h"
#include "ui/window/filter_bar.h"
#include "ui/window/investigation_actions.h"
#include "ui/window/main_view.h"
#include "ui/window/save_received_log.h"
#include "ui/window/shortcuts_dialog.h"
#include "ui/window/timeline_strip.h"
#include "ui/window/top_bar_view.h"
#include "workspace/workspace.h"

namespace korvantis::ui {

namespace {

// The menus' keys come from the window's one key table, so that no key is
// claimed twice.
template <typename Receiver, typename Slot>
QAction* addKeyedAction(QMenu* menu, const QString& text, const QKeySequence& keys,
                        Receiver receiver, Slot slot) {
    QAction* action = menu->addAction(text);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, receiver, slot);
    return action;
}

}  // namespace

MainMenuBar::MainMenuBar(MainView& view) : QMenuBar(&view) {
    addFileMenu(view);
    addViewMenu(view);
    addHelpMenu(view);
    view.layout()->setMenuBar(this);
    view.setMainMenuBar(this);
    // The window's marks, sessions, highlights and saved filters add their
    // entries to the menus made above.
    view.investigation()->addMenuEntries(*file_, *view_);
}

void MainMenuBar::addFileMenu(MainView& view) {
    file_ = addMenu(tr("File"));
    addKeyedAction(file_, tr("Import Json\u2026"), keysOf(WindowCommand::importJson), &view,
                   [&view] { view.topBar()->importJson(); });
    addKeyedAction(file_, tr("Export\u2026"), keysOf(WindowCommand::exportRows), &view,
                   [&view] { view.filterBar()->exportAction()->chooseFile(); });
    QAction* saveReceived =
        addKeyedAction(file_, tr("Save received log as\u2026"), QKeySequence(), &view,
                       [&view] { chooseFileForReceivedLog(&view, view.workspace()); });
    // Removes every index not in use; what the window shows stays.
    QAction* forget =
        addKeyedAction(file_, tr("Forget Cached Indexes"), QKeySequence(), &view, [&view] {
            if (const auto& cache = view.workspace().loader.indexCache()) {
                cache->trim(0);
            }
        });
    addClickHouseActions(*file_, view);
    connect(file_, &QMenu::aboutToShow, this, [saveReceived, forget, &view] {
        saveReceived->setEnabled(hasReceivedLog(view.workspace()));
        forget->setEnabled(view.workspace().loader.indexCache() != nullptr);
    });
    file_->addSeparator();
    addKeyedAction(file_, tr("New Window"), keysOf(WindowCommand::newWindow), &view,
                   [&view] { emit view.newWindowRequested(); });
    addKeyedAction(file_, tr("Close Window"), keysOf(WindowCommand::closeWindow), &view,
                   [&view] { view.window()->close(); });
    file_->addSeparator();
    addKeyedAction(file_, tr("Quit"), keysOf(WindowCommand::quit), &view, &QCoreApplication::quit);
}

void MainMenuBar::addViewMenu(MainView& view) {
    view_ = addMenu(tr("View"));
    addKeyedAction(view_, tr("Follow"), keysOf(WindowCommand::follow), &view,
                   [&view] { view.topBar()->followButton()->toggle(); });
    // The columns of the list in front, made afresh each time it opens.
    QMenu* columns = view_->addMenu(tr("Columns"));
    connect(columns, &QMenu::aboutToShow, this, [columns, &view] {
        columns->clear();
        QWidget* front = view.tabs()->currentWidget();
        EventPanel* panel = front == view.filePanel()    ? view.filePanel()
                            : front == view.otherPanel() ? view.otherPanel()
                                                         : view.processPanel();
        panel->preview()->columnChoice().fillMenu(*columns);
    });
    TimeDisplayChoice::instance().addActionsTo(view_->addMenu(tr("Time Display")));
    // Long texts wrapped in their columns, or every row one line tall.
    wrap_ = view_->addAction(tr("Wrap Long Texts"));
    wrap_->setCheckable(true);
    wrap_->setChecked(WrapChoice::instance().wraps());
    connect(wrap_, &QAction::toggled, this, [](bool on) { WrapChoice::instance().setWraps(on); });
    view_->addSeparator();
    // The timeline shown or hidden, remembered.
    const QString timelineKey = QStringLiteral("view/timeline");
    timeline_ = addKeyedAction(view_, tr("Timeline"), keysOf(WindowCommand::timeline), &view,
                               [&view, timelineKey](bool on) {
                                   view.timeline()->setVisible(on);
                                   viewerSettings().setValue(timelineKey, on);
                               });
    timeline_->setCheckable(true);
    timeline_->setChecked(viewerSettings().value(timelineKey, true).toBool());
    view.timeline()->setVisible(timeline_->isChecked());
    summary_ = addKeyedAction(view_, tr("Summary"), keysOf(WindowCommand::summary), &view,
                              [&view] { view.showSummary(); });
    addKeyedAction(view_, detectionRulesMenuText(), QKeySequence(), &view,
                   [&view] { view.showRulesDialog(); });
}

void MainMenuBar::addHelpMenu(MainView& view) {
    help_ = addMenu(tr("Help"));
    shortcuts_ =
        addKeyedAction(help_, tr("Keyboard Shortcuts"), QKeySequence(), this, [this, &view] {
            showDialog(shortcutsDialog_, [&view] { return new ShortcutsDialog(&view); });
        });
    about_ = addKeyedAction(help_, tr("About Korvantis"), QKeySequence(), this, [this, &view] {
        showDialog(aboutBox_, [&view] { return new AboutBox(&view); });
    });
}

template <typename Make>
void MainMenuBar::showDialog(QPointer<QDialog>& slot, Make make) {
    if (!slot) {
        slot = make();
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
}

}  // namespace korvantis::ui
