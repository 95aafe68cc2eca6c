#pragma once

#include <QString>
#include <QWidget>

namespace korvantis {

class WebView;
class WebViewData;

// A "Viewer" window: the tree page over a WebViewData of its own. It shares
// nothing with other windows and deletes itself, with everything it owns,
// when closed.
class TreeWindow : public QWidget {
    Q_OBJECT

  public:
    explicit TreeWindow(QWidget* parent = nullptr);
    ~TreeWindow() override;

    // Takes the tree carried by a tree URL text into `d3Json`. A text that
    // does not carry base64 is ignored and the window keeps what it has.
    void openUrl(const QString& urlText);

    WebViewData* data() const { return data_; }
    WebView* webView() const { return webView_; }

    static const QString kTitle;

  private:
    WebViewData* data_;
    WebView* webView_;
};

}  // namespace korvantis
