#pragma once

// Helpers for tests that drive a real web engine page headless.

#include <QApplication>
#include <QString>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>

#include <cstdio>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace korvantis::test {

// Must run before the QApplication is made. The engine's sandbox cannot run as
// root in a container; the tests switch it off for themselves only.
inline void prepareWebEngine() {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// Runs `script` in the page and waits for its value (an invalid QVariant when
// none came within `timeoutMs`).
inline QVariant evalJs(QWebEnginePage* page, const QString& script, int timeoutMs = 60000) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [result](const QVariant& value) { *result = value; });
    (void)QTest::qWaitFor([&] { return result->has_value(); }, timeoutMs);
    return result->value_or(QVariant());
}

// Waits until `condition` (a script expression) is true in the page.
inline bool waitForJs(QWebEnginePage* page, const QString& condition, int timeoutMs = 120000) {
    return QTest::qWaitFor(
        [&] { return evalJs(page, QStringLiteral("!!(%1)").arg(condition)).toBool(); }, timeoutMs);
}

// Collects what the program writes to standard output while it lives.
class StdoutCapture {
  public:
    StdoutCapture() {
        std::fflush(stdout);
        std::snprintf(path_, sizeof path_, "/tmp/korvantis-stdout-XXXXXX");
        fd_ = mkstemp(path_);
        saved_ = dup(STDOUT_FILENO);
        dup2(fd_, STDOUT_FILENO);
    }
    ~StdoutCapture() {
        restore();
        close(fd_);
        unlink(path_);
    }
    // Stops capturing and returns everything written.
    QByteArray finish() {
        restore();
        QByteArray text;
        char buffer[4096];
        lseek(fd_, 0, SEEK_SET);
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, n);
        }
        return text;
    }

  private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
            saved_ = -1;
        }
    }
    char path_[64];
    int fd_ = -1;
    int saved_ = -1;
};

}  // namespace korvantis::test

#define KORVANTIS_WEB_TEST_MAIN(TestClass)      \
    int main(int argc, char** argv) {           \
        korvantis::test::prepareWebEngine();    \
        QApplication app(argc, argv);           \
        TestClass test;                         \
        return QTest::qExec(&test, argc, argv); \
    }
