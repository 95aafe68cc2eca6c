#include "treeview/web_view.h"

#include <QVBoxLayout>
#include <QWebEngineView>

#include "treeview/web_view_coordinator.h"
#include "treeview/web_view_data.h"

namespace korvantis {

WebView::WebView(WebViewData* data, QWidget* parent)
    : QWidget(parent), data_(data), coordinator_(std::make_unique<WebViewCoordinator>(data)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(coordinator_->webView());

    if (data_) {
        connect(data_, &WebViewData::loadingChanged, this, &WebView::updateView);
        connect(data_, &WebViewData::urlChanged, this, &WebView::updateView);
        connect(data_, &WebViewData::treeJsonChanged, this, &WebView::updateView);
    }
    updateView();
}

// The coordinator goes first and takes its web view out of the layout.
WebView::~WebView() = default;

QWebEngineView* WebView::webView() const {
    return coordinator_->webView();
}

void WebView::updateView() {
    coordinator_->update(data_ ? data_->url() : QUrl());
}

}  // namespace korvantis
