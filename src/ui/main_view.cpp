#include "ui/main_view.h"

#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include "store/event_keeper.h"
#include "ui/event_panel.h"
#include "ui/store_notifier.h"
#include "ui/style.h"
#include "ui/top_bar_view.h"

namespace korvantis::ui {

MainView::MainView(TreeOpener openTree, QWidget* parent) : QWidget(parent) {
    registerFonts();
    store_ = std::make_unique<EventKeeper>([this](EventKeeper::Task task) {
        // Thread-safe; dropped if this view is gone before the task runs.
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    });
    notifier_ = new StoreNotifier(*store_, this);

    // Tree windows learn which main window opened them.
    TreeOpener openTreeFromHere = [this, openTree = std::move(openTree)](TreeRequest request) {
        if (openTree) {
            request.origin = this;
            openTree(request);
        }
    };
    topBar_ = new TopBarView(*notifier_, std::move(openTreeFromHere), this);
    tabs_ = new QTabWidget(this);
    processView_ = new ProcessView(*notifier_);
    fileView_ = new FileView(*notifier_);
    tabs_->addTab(processView_, tr("Processes"));
    tabs_->addTab(fileView_, tr("Files"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(topBar_);
    layout->addWidget(tabs_, 1);

    auto* open = new QShortcut(QKeySequence::Open, this);
    open->setContext(Qt::WindowShortcut);
    connect(open, &QShortcut::activated, topBar_, &TopBarView::importJson);
}

MainView::~MainView() {
    // The views read the store and the notifier observes it: both go before it.
    delete topBar_;
    delete tabs_;
    delete notifier_;
}

EventKeeper& MainView::store() {
    return *store_;
}

void MainView::showEventsOfProcessTree(qint64 pid) {
    QWidget* w = window();
    w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
    w->activateWindow();
    emit filterQueryRequested(QStringLiteral("tree:%1").arg(pid));
}

}  // namespace korvantis::ui
