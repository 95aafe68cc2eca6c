#pragma once
// What the main-window benchmarks share: the log to load (made with
// korvantis-genlog when it is not there yet) and running the event loop until
// a state is reached.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace korvantis::bench {

// The log named on the command line, or /tmp/genlog-1m.json (1,000,000
// generated lines) made now if missing; empty when it cannot be made.
inline QString benchLog(int argc, char** argv) {
    const QString path =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/genlog-1m.json");
    if (!QFile::exists(path)) {
        std::printf("generating %s ...\n", qPrintable(path));
        const QString cmd =
            QStringLiteral("'%1' 1000000 > '%2'").arg(QStringLiteral(KORVANTIS_GENLOG), path);
        if (std::system(cmd.toLocal8Bit().constData()) != 0) {
            std::fprintf(stderr, "could not generate the log\n");
            return {};
        }
    }
    return path;
}

// Shows `window` at the size the figures are taken at; false when it never
// comes up.
inline bool showWindow(QWidget& window) {
    window.resize(1400, 900);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "window not exposed\n");
        return false;
    }
    return true;
}

// Runs the event loop until `done` or the timeout.
template <typename Pred>
void spinUntil(Pred done, int timeoutMs = 600000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

}  // namespace korvantis::bench
