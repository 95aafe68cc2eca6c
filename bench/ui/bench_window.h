#pragma once
// What the main-window benchmarks share: their start (an offscreen
// application, the log to load, made with korvantis-genlog when it is not
// there yet, and a shown main window) and running the event loop until a
// state is reached.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "rules/rule_document.h"
#include "ui/window/main_view.h"

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

// Offscreen unless another platform is asked for; before the application
// is made. Returns `argc` for the application's constructor.
inline int& offscreenUnlessAsked(int& argc) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return argc;
}

// Started as the viewer's rule-parsing child, answers and exits; else makes
// this program, started anew, that child as the viewer does (forking a
// process that holds a large store copies its page tables each time).
// Returns `argc`, before the application is made.
inline int& startAsTheViewer(int& argc, char** argv) {
    if (const std::optional<int> answered =
            korvantis::answerAsRuleChildOrBecomeItsParent(argc, argv)) {
        std::exit(*answered);
    }
    return offscreenUnlessAsked(argc);
}

// The start of a main-window benchmark: the application, the log and the
// shown window; not ready when the log cannot be made or the window never
// comes up.
class BenchWindow {
  public:
    BenchWindow(int& argc, char** argv)
        : app_(startAsTheViewer(argc, argv), argv), log_(benchLog(argc, argv)) {
        if (log_.isEmpty()) {
            return;
        }
        view_ = std::make_unique<korvantis::ui::MainView>([](const korvantis::ui::TreeRequest&) {});
        ready_ = showWindow(*view_);
    }
    bool ready() const { return ready_; }
    const QString& log() const { return log_; }
    korvantis::ui::MainView& view() { return *view_; }

  private:
    QApplication app_;
    QString log_;
    std::unique_ptr<korvantis::ui::MainView> view_;
    bool ready_ = false;
};

// Runs the event loop until `done` or the timeout. The loop sleeps between
// events as the viewer's own does: a thread that never sleeps is taken for a
// busy one by the scheduler and waits behind the load's workers, which would
// show as UI stalls the viewer does not have. A short timer bounds each sleep
// for a `done` that no event announces.
template <typename Pred>
void spinUntil(Pred done, int timeoutMs = 600000) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.start(2);
    while (!done() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace korvantis::bench
