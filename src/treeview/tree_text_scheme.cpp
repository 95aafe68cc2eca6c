#include "treeview/tree_text_scheme.h"

#include <QBuffer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace korvantis {

namespace {

constexpr char kScheme[] = "korvantis-tree";

// Reads a shared text in place and keeps it alive while the engine reads.
class SharedTextDevice : public QBuffer {
  public:
    SharedTextDevice(SharedText text, QObject* parent) : QBuffer(parent), text_(std::move(text)) {
        setData(QByteArray::fromRawData(text_->data(), static_cast<qsizetype>(text_->size())));
        open(QIODevice::ReadOnly);
    }

  private:
    SharedText text_;
};

std::uint64_t numberOf(const QUrl& address) {
    bool ok = false;
    const std::uint64_t number = address.path().mid(1).toULongLong(&ok);
    return ok && address.scheme() == QLatin1String(kScheme) ? number : 0;
}

}  // namespace

void TreeTextScheme::registerScheme() {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // Read by the page (served from qrc:) with a request of its own: secure,
    // so no mixed content, and open to requests from another origin.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

std::map<std::uint64_t, SharedText>& TreeTextScheme::published() {
    static std::map<std::uint64_t, SharedText> texts;
    return texts;
}

void TreeTextScheme::install() {
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    if (profile->urlSchemeHandler(kScheme) == nullptr) {
        // Goes with the profile.
        profile->installUrlSchemeHandler(kScheme, new TreeTextScheme(profile));
    }
}

QUrl TreeTextScheme::publish(SharedText text) {
    static std::uint64_t last = 0;
    published().emplace(++last, std::move(text));
    return QUrl(QStringLiteral("%1:/%2").arg(QLatin1String(kScheme)).arg(last));
}

void TreeTextScheme::withdraw(const QUrl& address) {
    published().erase(numberOf(address));
}

void TreeTextScheme::requestStarted(QWebEngineUrlRequestJob* job) {
    const auto found = published().find(numberOf(job->requestUrl()));
    if (found == published().end()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    job->reply("application/json", new SharedTextDevice(found->second, job));
}

}  // namespace korvantis
