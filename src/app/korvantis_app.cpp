#include "app/korvantis_app.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include "fleet/clickhouse_feed.h"
#include "treeview/tree_window.h"
#include "ui/window/clickhouse_opening.h"
#include "ui/window/investigation_actions.h"
#include "ui/window/main_menu_bar.h"
#include "ui/window/main_view.h"
#include "workspace/workspace.h"

namespace korvantis {

namespace {
template <typename T>
QList<T*> alive(const QList<QPointer<T>>& windows) {
    QList<T*> result;
    for (const QPointer<T>& w : windows) {
        if (w) {
            result.append(w.data());
        }
    }
    return result;
}
}  // namespace

KorvantisApp::KorvantisApp(QObject* parent) : QObject(parent) {
    qRegisterMetaType<TreeWindow*>();
}

KorvantisApp::~KorvantisApp() {
    // Tree windows first: their web pages must go before the web engine's
    // profile, which is released with the QApplication.
    for (TreeWindow* w : treeWindows()) {
        delete w;
    }
    for (QWidget* w : mainWindows()) {
        delete w;
    }
}

QWidget* KorvantisApp::openMainWindow() {
    auto* window =
        new ui::MainView([this](const ui::TreeRequest& request) { (void)openTreeWindow(request); });
    new ui::MainMenuBar(*window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->workspace().loader.setIndexCache(indexCache_);
    connect(window, &ui::MainView::newWindowRequested, this, &KorvantisApp::openMainWindow);
    window->resize(1200, 800);
    mainWindows_.removeAll(nullptr);
    mainWindows_.append(window);
    window->show();
    return window;
}

QWidget* KorvantisApp::start(const QStringList& logs) {
    std::vector<std::string> paths;
    for (const QString& log : logs) {
        paths.push_back(QFile::encodeName(log).toStdString());
    }
    return start(paths);
}

QWidget* KorvantisApp::start(const std::vector<std::string>& logs, bool follow) {
    auto* window = static_cast<ui::MainView*>(openMainWindow());
    window->setFollowing(follow);
    // Session files named are read in the background: why one could not be.
    QObject::connect(window->investigation(), &ui::InvestigationActions::sessionOpened, window,
                     [](const QString&, const QString& failed) {
                         if (!failed.isEmpty()) {
                             std::fprintf(stderr, "korvantis: %s\n",
                                          failed.toLocal8Bit().constData());
                         }
                     });
    for (const std::string& log : logs) {
        // What a query on a ClickHouse server finds, loaded as its rows come.
        if (log.starts_with(kClickHouseUrlScheme)) {
            const std::string error = ui::ClickHouseOpening::startAt(*window, log);
            if (!error.empty()) {
                std::fprintf(stderr, "korvantis: %s: %s\n", log.c_str(), error.c_str());
            }
            continue;
        }
        if (log.ends_with(".korvantis")) {
            // A session file: its logs, marks and view, read in the background.
            window->investigation()->openSession(QFile::decodeName(log.c_str()));
            continue;
        }
        // Checked here as well, so that a wrong name is reported on the
        // terminal at once; without opening it, which would wait on a pipe.
        // The window tells it too, with the reason, when its load comes.
        // "-" is standard input.
        struct stat st {};
        if (log != "-" && (::stat(log.c_str(), &st) != 0 || S_ISDIR(st.st_mode) ||
                           ::access(log.c_str(), R_OK) != 0)) {
            std::fprintf(stderr, "korvantis: cannot open %s\n", log.c_str());
        }
        window->workspace().loader.loadJsonFile(log);
    }
    return window;
}

TreeWindow* KorvantisApp::openTreeWindow(const ui::TreeRequest& request) {
    TreeWindow* window = openEmptyTreeWindow(request.facts, request.origin);
    // Like an opened URL, the tree reaches the window from the event loop:
    // after the page load its view has scheduled, so that reading a big tree
    // overlaps the loading of the page.
    QMetaObject::invokeMethod(
        window, [window, tree = request.treeJson] { window->openTree(tree); },
        Qt::QueuedConnection);
    return window;
}

TreeWindow* KorvantisApp::openTreeWindow(const QString& urlText) {
    TreeWindow* window = openEmptyTreeWindow(nullptr, {});
    QMetaObject::invokeMethod(
        window, [window, urlText] { window->openUrl(urlText); }, Qt::QueuedConnection);
    return window;
}

TreeWindow* KorvantisApp::openEmptyTreeWindow(SharedText facts, ui::TreeOrigin origin) {
    auto* window = new TreeWindow;
    connect(window, &TreeWindow::newWindowRequested, this, &KorvantisApp::openMainWindow);
    window->setFacts(std::move(facts));
    window->setOrigin(std::move(origin));
    treeWindows_.removeAll(nullptr);
    treeWindows_.append(window);
    window->show();
    emit treeWindowOpened(window);
    return window;
}

QList<QWidget*> KorvantisApp::mainWindows() const {
    return alive(mainWindows_);
}

QList<TreeWindow*> KorvantisApp::treeWindows() const {
    return alive(treeWindows_);
}

}  // namespace korvantis
