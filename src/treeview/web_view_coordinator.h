#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEngineView>

#include <functional>

#include "treeview/web_view_data.h"

class QWebEngineLoadingInfo;

namespace korvantis {

// Drives one web view for a tree window: loads the page once per distinct
// `url`, hands the page the address of the tree JSON after every finished
// navigation (the page fetches the text itself), keeps
// `loading` up to date and reports failed navigations in an alert. Every state
// change caused by the web engine is deferred to the event loop, so it happens
// after the engine's callback has returned.
class WebViewCoordinator : public QObject {
    Q_OBJECT

  public:
    // Shows a failure to the user and returns once it has been dismissed.
    using AlertPresenter = std::function<void(const QString& title, const QString& text)>;

    // Creates the web view (default profile and settings); `data` must outlive
    // the coordinator or be destroyed with it.
    explicit WebViewCoordinator(WebViewData* data, QObject* parent = nullptr);
    ~WebViewCoordinator() override;

    WebViewData* data() const { return data_; }
    // The same view for the whole life of the coordinator.
    QWebEngineView* webView() const { return webView_; }
    // The page location last handed to the web view; empty at first.
    const QUrl& loadedUrl() const { return loadedUrl_; }

    // The update step: when `wanted` differs from `loadedUrl`, remember it,
    // schedule its load (unless empty) and write it back into `data.url`.
    void update(const QUrl& wanted);

    // Publishes the current tree JSON and has the page load it from there;
    // the result and any script error are ignored.
    void loadTreeIntoPage();

    // Presents the alert, then prints "title: text" on its own line.
    void showAlert(const QString& title, const QString& text);

    // Replaces the presenter (tests, embedders). The default shows a modal
    // warning message box.
    void setAlertPresenter(AlertPresenter presenter);

    // Titles of the two failure alerts.
    static const QString kNavigationErrorTitle;
    static const QString kLoadingErrorTitle;

  private:
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void onLoadFailed(const QWebEngineLoadingInfo& info);
    void presentDefaultAlert(const QString& title, const QString& text);
    template <typename F>
    void later(F&& task);

    QPointer<WebViewData> data_;
    // Owned; a parent widget that deletes it first leaves this empty.
    QPointer<QWebEngineView> webView_;
    QUrl loadedUrl_;
    AlertPresenter presenter_;
    // Where the page last found its tree; served while this view lives.
    QUrl treeAddress_;
};

}  // namespace korvantis
