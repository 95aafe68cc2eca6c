#include "app/tree_window.h"

#include <QVBoxLayout>

#include "tree/tree_url.h"
#include "tree/web_view.h"
#include "tree/web_view_data.h"

namespace korvantis {

const QString TreeWindow::kTitle = QStringLiteral("Viewer");

TreeWindow::TreeWindow(QWidget* parent)
    : QWidget(parent), data_(new WebViewData(this)), webView_(new WebView(data_, this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(webView_);
    resize(960, 680);
}

// The view (and with it the web engine page) goes before the data it reads.
TreeWindow::~TreeWindow() {
    delete webView_;
}

void TreeWindow::openUrl(const QString& urlText) {
    const std::optional<std::string> json = readTreeUrl(urlText.toStdString());
    if (json) {
        data_->setD3Json(QString::fromStdString(*json));
    }
}

}  // namespace korvantis
