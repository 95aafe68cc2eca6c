#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

namespace korvantis {

// The observable state of one tree window: whether a navigation is under way,
// which page the web view is to show, and the tree JSON handed to that page.
// Every setter announces a real change through its signal; assigning the value
// already held announces nothing, so the web view's update step (which writes
// `url` back) cannot feed itself.
class WebViewData : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool loading READ loading WRITE setLoading NOTIFY loadingChanged)
    Q_PROPERTY(QUrl url READ url WRITE setUrl NOTIFY urlChanged)
    Q_PROPERTY(QString d3Json READ d3Json WRITE setD3Json NOTIFY d3JsonChanged)

  public:
    // Starts with `url` set to the tree page, or empty when the program was
    // built without it.
    explicit WebViewData(QObject* parent = nullptr);

    // Where the tree page lives among the program's resources.
    static QUrl treePageUrl();

    bool loading() const { return loading_; }
    const QUrl& url() const { return url_; }
    const QString& d3Json() const { return d3Json_; }

    void setLoading(bool value);
    void setUrl(const QUrl& value);
    void setD3Json(const QString& value);

  signals:
    void loadingChanged();
    void urlChanged();
    void d3JsonChanged();

  private:
    bool loading_ = false;
    QUrl url_;
    QString d3Json_;
};

}  // namespace korvantis
