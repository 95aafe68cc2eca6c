#include "treeview/web_view_data.h"

#include <QFile>

namespace korvantis {

namespace {
// The page and its scripts are compiled into the program as Qt resources.
constexpr auto kTreePageResource = ":/tree.html";
constexpr auto kTreePageUrl = "qrc:/tree.html";
}  // namespace

WebViewData::WebViewData(QObject* parent) : QObject(parent), url_(treePageUrl()) {}

QUrl WebViewData::treePageUrl() {
    if (!QFile::exists(QString::fromLatin1(kTreePageResource))) {
        return {};
    }
    return QUrl(QString::fromLatin1(kTreePageUrl));
}

void WebViewData::setLoading(bool value) {
    if (loading_ == value) {
        return;
    }
    loading_ = value;
    emit loadingChanged();
}

void WebViewData::setUrl(const QUrl& value) {
    if (url_ == value) {
        return;
    }
    url_ = value;
    emit urlChanged();
}

void WebViewData::setTreeJson(SharedText value) {
    if (treeJson_ == value || (treeJson_ && value && *treeJson_ == *value)) {
        return;
    }
    treeJson_ = std::move(value);
    emit treeJsonChanged();
}

}  // namespace korvantis
