#include "app/korvantis_app.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include "app/tree_window.h"
#include "store/workspace.h"
#include "ui/main_view.h"

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
    auto* window = static_cast<ui::MainView*>(openMainWindow());
    for (const QString& log : logs) {
        // Checked here, so that a wrong name is reported at once; without
        // opening it, which would wait on a pipe. The loader opens it on its
        // own thread.
        // "-" is standard input.
        const QFileInfo info(log);
        if (log != QStringLiteral("-") && (!info.exists() || info.isDir() || !info.isReadable())) {
            std::fprintf(stderr, "korvantis: cannot open %s\n", QFile::encodeName(log).constData());
            continue;
        }
        window->workspace().loader.loadJsonFile(QFile::encodeName(log).toStdString());
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
