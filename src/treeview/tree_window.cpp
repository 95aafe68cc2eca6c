#include "treeview/tree_window.h"

#include <QShortcut>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "tree/tree_url.h"
#include "treeview/tree_page_channel.h"
#include "treeview/web_view.h"
#include "treeview/web_view_data.h"

namespace korvantis {

const QString TreeWindow::kTitle = QStringLiteral("Viewer");

TreeWindow::TreeWindow(QWidget* parent)
    : QWidget(parent),
      data_(new WebViewData(this)),
      webView_(new WebView(data_, this)),
      pageChannel_(new TreePageChannel(this)),
      channel_(new QWebChannel(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Set before the page loads (the view loads it from the event loop).
    channel_->registerObject(TreePageChannel::kName, pageChannel_);
    webView_->webView()->page()->setWebChannel(channel_);
    setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(webView_);
    resize(960, 680);
    // A way back to a main window, even when the last one has been closed.
    auto* newWindow = new QShortcut(QKeySequence::New, this);
    newWindow->setContext(Qt::WindowShortcut);
    connect(newWindow, &QShortcut::activated, this, &TreeWindow::newWindowRequested);
}

// The view (and with it the web engine page) goes before the data it reads.
TreeWindow::~TreeWindow() {
    delete webView_;
}

void TreeWindow::setFacts(SharedText facts) {
    pageChannel_->setFacts(std::move(facts));
}

void TreeWindow::setOrigin(ui::TreeOrigin origin) {
    pageChannel_->setOrigin(std::move(origin));
}

void TreeWindow::openUrl(const QString& urlText) {
    std::optional<std::string> json = readTreeUrl(urlText.toStdString());
    if (json) {
        openTree(sharedText(std::move(*json)));
    }
}

void TreeWindow::openTree(SharedText treeJson) {
    data_->setTreeJson(std::move(treeJson));
}

}  // namespace korvantis
