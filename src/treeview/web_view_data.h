#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <string>

#include "store/shared_text.h"

namespace korvantis {

// The observable state of one tree window: whether a navigation is under way,
// which page the web view is to show, and the tree JSON handed to that page
// (shared, never copied: the store's own text).
// Every setter announces a real change through its signal; assigning the value
// already held announces nothing, so the web view's update step (which writes
// `url` back) cannot feed itself.
class WebViewData : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool loading READ loading WRITE setLoading NOTIFY loadingChanged)
    Q_PROPERTY(QUrl url READ url WRITE setUrl NOTIFY urlChanged)

  public:
    // Starts with `url` set to the tree page, or empty when the program was
    // built without it.
    explicit WebViewData(QObject* parent = nullptr);

    // Where the tree page lives among the program's resources.
    static QUrl treePageUrl();

    bool loading() const { return loading_; }
    const QUrl& url() const { return url_; }
    // None until a tree arrives.
    const SharedText& treeJson() const { return treeJson_; }

    void setLoading(bool value);
    void setUrl(const QUrl& value);
    // A text equal to the one held is no change.
    void setTreeJson(SharedText value);

  signals:
    void loadingChanged();
    void urlChanged();
    void treeJsonChanged();

  private:
    bool loading_ = false;
    QUrl url_;
    SharedText treeJson_;
};

}  // namespace korvantis
