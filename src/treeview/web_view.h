#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

#include "treeview/web_view_data.h"

class QWebEngineView;

namespace korvantis {

class WebViewCoordinator;

// Shows the tree page for a WebViewData: wraps its coordinator's web view and
// runs the update step after creation and after every change of the data.
class WebView : public QWidget {
    Q_OBJECT

  public:
    // `data` is not owned; it must outlive this view or be destroyed with it.
    explicit WebView(WebViewData* data, QWidget* parent = nullptr);
    ~WebView() override;

    WebViewData* data() const { return data_; }
    WebViewCoordinator* coordinator() const { return coordinator_.get(); }
    QWebEngineView* webView() const;

    // The update step: loads the page once per distinct `url`.
    void updateView();

  private:
    QPointer<WebViewData> data_;
    std::unique_ptr<WebViewCoordinator> coordinator_;
};

}  // namespace korvantis
