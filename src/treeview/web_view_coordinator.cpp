#include "treeview/web_view_coordinator.h"

#include <QMessageBox>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdio>
#include <utility>

#include "treeview/tree_text_scheme.h"
#include "treeview/web_view_data.h"
#include "ui/look/style.h"

namespace korvantis {

const QString WebViewCoordinator::kNavigationErrorTitle = QStringLiteral("Navigation Error");
const QString WebViewCoordinator::kLoadingErrorTitle = QStringLiteral("Loading Error");

WebViewCoordinator::WebViewCoordinator(WebViewData* data, QObject* parent)
    : QObject(parent), data_(data), webView_(new QWebEngineView) {
    TreeTextScheme::install();
    presenter_ = [this](const QString& title, const QString& text) {
        presentDefaultAlert(title, text);
    };
    connect(webView_->page(), &QWebEnginePage::loadingChanged, this,
            &WebViewCoordinator::onLoadingChanged);
}

// The view may sit in a layout by now; deleting it takes it out again.
WebViewCoordinator::~WebViewCoordinator() {
    TreeTextScheme::withdraw(treeAddress_);
    delete webView_.data();
}

template <typename F>
void WebViewCoordinator::later(F&& task) {
    // Queued on this object: dropped unrun if the coordinator goes first.
    QMetaObject::invokeMethod(this, std::forward<F>(task), Qt::QueuedConnection);
}

void WebViewCoordinator::update(const QUrl& wanted) {
    if (loadedUrl_ == wanted) {
        return;
    }
    loadedUrl_ = wanted;
    if (!wanted.isEmpty()) {
        later([this, wanted] {
            if (webView_) {
                webView_->load(wanted);
            }
        });
    }
    if (data_) {
        data_->setUrl(wanted);
    }
}

void WebViewCoordinator::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    // The engine's callback returns first: the page's state changes from the
    // event loop.
    const auto notLoading = [this] {
        if (data_) {
            data_->setLoading(false);
        }
    };
    switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            later([this] {
                if (data_) {
                    data_->setLoading(true);
                }
            });
            break;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            later([this, notLoading] {
                loadTreeIntoPage();
                notLoading();
            });
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            onLoadFailed(info);
            break;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            // Stopped or replaced by another navigation: nothing failed, and
            // the navigation that replaced it reports on its own.
            later(notLoading);
            break;
    }
}

void WebViewCoordinator::onLoadFailed(const QWebEngineLoadingInfo& info) {
    // A server that answered with an error status sent a page of its own, so
    // the navigation had content when it failed; every other failure (no
    // file, no connection, DNS, certificate, aborted transfer) ended it
    // before any content arrived.
    const QString title = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain
                              ? kNavigationErrorTitle
                              : kLoadingErrorTitle;
    const QString text = info.errorString();
    // The modal alert runs from the event loop, not inside the engine's
    // callback.
    later([this, title, text] {
        QPointer<WebViewCoordinator> self(this);
        showAlert(title, text);
        if (self) {
            later([this] {
                if (data_) {
                    data_->setLoading(false);
                }
            });
        }
    });
}

void WebViewCoordinator::loadTreeIntoPage() {
    if (!webView_) {
        return;
    }
    // The page follows the window's palette, light or dark.
    const bool dark = !ui::isLightColor(webView_->palette().color(QPalette::Window));
    webView_->page()->runJavaScript(
        QStringLiteral("document.documentElement.classList.toggle('dark', %1);")
            .arg(dark ? QStringLiteral("true") : QStringLiteral("false")));
    TreeTextScheme::withdraw(treeAddress_);
    treeAddress_.clear();
    const SharedText tree = data_ ? data_->treeJson() : nullptr;
    if (!tree || tree->empty()) {
        // Nothing to read: the page says there is no tree.
        webView_->page()->runJavaScript(QStringLiteral("initialLoad('')"));
        return;
    }
    // The page reads the text itself: the script carries only its address,
    // and the text is the data's own, not a copy.
    treeAddress_ = TreeTextScheme::publish(tree);
    webView_->page()->runJavaScript(
        QStringLiteral("loadTreeFrom('%1')").arg(treeAddress_.toString(QUrl::FullyEncoded)));
}

void WebViewCoordinator::showAlert(const QString& title, const QString& text) {
    presenter_(title, text);
    const QByteArray line = (title + QStringLiteral(": ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

void WebViewCoordinator::setAlertPresenter(AlertPresenter presenter) {
    presenter_ = std::move(presenter);
}

void WebViewCoordinator::presentDefaultAlert(const QString& title, const QString& text) {
    QWidget* owner = webView_ ? webView_->window() : nullptr;
    QMessageBox box(QMessageBox::Warning, title, title, QMessageBox::Ok, owner);
    box.setInformativeText(text);
    box.exec();
}

}  // namespace korvantis
