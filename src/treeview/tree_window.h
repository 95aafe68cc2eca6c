#pragma once

#include <QString>
#include <QWidget>

#include <memory>
#include <string>

#include "ui/window/tree_request.h"

class QWebChannel;

namespace korvantis {

class TreePageChannel;
class WebView;
class WebViewData;

// A "Viewer" window: the tree page over a WebViewData of its own, and a web
// channel through which the page reads the per-node facts and leads back to
// the main window that opened it. Ctrl+N asks for a new main window. It
// shares nothing with other windows and deletes itself, with everything it
// owns, when closed.
class TreeWindow : public QWidget {
    Q_OBJECT

  public:
    explicit TreeWindow(QWidget* parent = nullptr);
    ~TreeWindow() override;

    // Takes the tree carried by a tree URL text (the form trees come in from
    // outside). A text that does not carry base64 is ignored and the window
    // keeps what it has.
    void openUrl(const QString& urlText);
    // Shows `treeJson`, shared, not copied.
    void openTree(SharedText treeJson);

    // The per-node facts of the tree and the main window that asked for it.
    void setFacts(SharedText facts);
    void setOrigin(ui::TreeOrigin origin);

    WebViewData* data() const { return data_; }
    WebView* webView() const { return webView_; }

    static const QString kTitle;

  signals:
    // Ctrl+N: the user asks for a new main window.
    void newWindowRequested();

  private:
    WebViewData* data_;
    WebView* webView_;
    TreePageChannel* pageChannel_;
    QWebChannel* channel_;
};

}  // namespace korvantis
