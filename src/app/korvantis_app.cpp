#include "app/korvantis_app.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include "treeview/tree_window.h"
#include "ui/investigation_actions.h"
#include "ui/main_view.h"
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
    auto* window = new ui::MainView([this](const ui::TreeRequest& request) {
        openTreeWindow(request.urlText, request.factsText, request.origin);
    });
    window->setAttribute(Qt::WA_DeleteOnClose);
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
    for (const std::string& log : logs) {
        if (log.ends_with(".korvantis")) {
            // A session file: its logs, marks and view.
            const QString failed =
                window->investigation()->openSession(QFile::decodeName(log.c_str()));
            if (!failed.isEmpty()) {
                std::fprintf(stderr, "korvantis: %s\n", failed.toLocal8Bit().constData());
            }
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

TreeWindow* KorvantisApp::openTreeWindow(const QString& urlText, const QString& factsText,
                                         ui::MainView* origin) {
    auto* window = new TreeWindow;
    connect(window, &TreeWindow::newWindowRequested, this, &KorvantisApp::openMainWindow);
    window->setFacts(factsText);
    window->setOrigin(origin);
    treeWindows_.removeAll(nullptr);
    treeWindows_.append(window);
    window->show();
    // Like an opened URL, the text reaches the window's handler from the event
    // loop: after the page load its view has scheduled, so that reading a big
    // tree overlaps the loading of the page.
    QMetaObject::invokeMethod(
        window, [window, urlText] { window->openUrl(urlText); }, Qt::QueuedConnection);
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
