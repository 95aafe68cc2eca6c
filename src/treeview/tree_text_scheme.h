#pragma once

#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "store/shared_text.h"

namespace korvantis {

// The tree pages of this process read their tree JSON from the program's own
// URL scheme: a published text is served as it is, from the very bytes the
// store made, so that a tree of 100 MB is neither copied nor encoded on its
// way to a page. The base64 tree URL stays the form for texts that come from
// outside.
class TreeTextScheme : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

  public:
    // Makes the scheme known to the web engine; must run before the
    // QApplication is made.
    static void registerScheme();

    // Installs the handler on the default profile, once; must be done before
    // a page that reads from it loads (the engine takes a handler installed
    // later only for later pages).
    static void install();
    // Publishes `text` and returns the address a page reads it from; it is
    // served until withdrawn.
    static QUrl publish(SharedText text);
    static void withdraw(const QUrl& address);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

  private:
    explicit TreeTextScheme(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

    static std::map<std::uint64_t, SharedText>& published();
};

}  // namespace korvantis
