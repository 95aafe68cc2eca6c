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

// Waits until the tree page has been handed its tree once.
inline bool waitForTree(QWebEnginePage* page) {
    return waitForJs(page, QStringLiteral("window.__korvantis && __korvantis.calls === 1"));
}

// Collects what the program writes to a standard stream (1 or 2) while it
// lives, or until finish().
class StreamCapture {
  public:
    explicit StreamCapture(int fd = STDOUT_FILENO) : target_(fd) {
        flush();
        saved_ = dup(target_);
        dup2(fd_, target_);
    }
    ~StreamCapture() {
        restore();
        std::fclose(file_);
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
    void flush() const { std::fflush(target_ == STDERR_FILENO ? stderr : stdout); }
    void restore() {
        if (saved_ >= 0) {
            flush();
            dup2(saved_, target_);
            close(saved_);
            saved_ = -1;
        }
    }
    int target_;
    std::FILE* file_ = std::tmpfile();
    int fd_ = fileno(file_);
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
