#pragma once

// Helpers for tests that drive a real web engine page headless.

#include <QApplication>
#include <QString>
#include <QTest>
#include <QVariant>
#include <QVariantList>
#include <QWebEnginePage>

#include <cstdio>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

#include "treeview/tree_text_scheme.h"

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
    TreeTextScheme::registerScheme();
}

// `text` as the shared tree JSON a tree window shows.
inline SharedText treeText(const QString& text) {
    return korvantis::sharedText(text.toStdString());
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

// Scripts that make tree JSON in the page: chain(n), a chain of n processes
// and a leaf named "deepest"; randomTree(n, seed), n processes named n0,
// n1, ..., each below one picked at random among those before it, or below
// n0 (one in twenty), which gets more children than are drawn at once. The
// texts are joined once, flat as the program's text read from its address is:
// a text grown piece by piece is a rope the engine flattens when the page
// hands it to its worker, which held the page several times as long as the
// program's own text does.
inline const QString kTreeMakersJs = QStringLiteral(R"(
    window.chain = (n) => {
        const parts = ['['];
        for (let i = 0; i < n; i++) {
            parts.push('{"name":"p' + i + '","children":[');
        }
        parts.push('{"name":"deepest"}', ']}'.repeat(n), ']');
        return parts.join('');
    };
    window.randomTree = (n, seed) => {
        let state = seed;
        const random = () => (state = (state * 1103515245 + 12345) % 2147483648) / 2147483648;
        const nodes = [{name: 'n0'}];
        for (let i = 1; i < n; i++) {
            const node = {name: 'n' + i};
            const parent = nodes[random() < 0.05 ? 0 : Math.floor(random() * i)];
            (parent.children = parent.children || []).push(node);
            nodes.push(node);
        }
        return JSON.stringify([nodes[0]]);
    };
)");

// How the page answered while a large tree went through it: the longest
// wait of a timer that should fire every few milliseconds (the longest task
// the page ran), the step it fell in, the longest per step (JSON), the
// tree's nodes and the search from query to picture; `failed` says what went
// wrong, if anything did.
struct PageTasks {
    QString failed;
    double longestMs = 0;
    QString longestStep;
    QString perStep;
    int nodes = 0;
    double searchMs = 0;
    // After the search: the nodes in the picture, and the elements on the page
    // (only those near the view are made).
    int drawnAtSearch = 0;
    int elementsAtSearch = 0;
};

// Hands the tree page the tree JSON `tree` (a script expression) while the
// timer runs, searches it for `query`, steps to the next match, fits the
// picture to the window, expands all below the root and closes the root,
// each step once the picture before it is drawn.
inline PageTasks runLargeTree(QWebEnginePage* page, const QString& tree, const QString& query) {
    PageTasks tasks;
    evalJs(page, kTreeMakersJs + QStringLiteral(R"(
        window.__treeText = %1;
        window.__gaps = {longest: 0, last: performance.now(), on: true, at: '', steps: {}};
        window.__beat = () => {
            const now = performance.now();
            const gap = now - __gaps.last;
            if (gap > __gaps.longest) {
                __gaps.longest = gap;
                __gaps.at = __gaps.step;
            }
            __gaps.steps[__gaps.step] = Math.round(Math.max(__gaps.steps[__gaps.step] || 0, gap));
            __gaps.last = now;
            if (__gaps.on) {
                setTimeout(__beat, 0);
            }
        };
        __beat(); 1)")
                                     .arg(tree));
    auto step = [&](const char* name, const QString& script) {
        return evalJs(page,
                      QStringLiteral("__gaps.step = '%1'; %2").arg(QLatin1String(name), script));
    };
    auto drawn = [&](const char* after) {
        if (tasks.failed.isEmpty() &&
            !waitForJs(page, QStringLiteral("!__korvantis.searching && !__korvantis.drawing"))) {
            tasks.failed = QStringLiteral("no picture after: ") + QLatin1String(after);
        }
    };
    const QString current = QStringLiteral("d3.selectAll('.node.match.current').size() === 1");
    step("arrival", QStringLiteral("initialLoad(__treeText); 1"));
    drawn("arrival");
    tasks.nodes = evalJs(page, QStringLiteral("__korvantis.total")).toInt();
    step("search", QStringLiteral("__korvantis.search('%1')").arg(query));
    drawn("search");
    if (tasks.failed.isEmpty() &&
        evalJs(page, QStringLiteral("__korvantis.matches")).toInt() == 0) {
        tasks.failed = QStringLiteral("no match");
    }
    tasks.searchMs = evalJs(page, QStringLiteral("__korvantis.lastSearchMs")).toDouble();
    tasks.drawnAtSearch = evalJs(page, QStringLiteral("__korvantis.drawn")).toInt();
    tasks.elementsAtSearch = evalJs(page, QStringLiteral("d3.selectAll('.node').size()")).toInt();
    if (tasks.failed.isEmpty() && !evalJs(page, current).toBool()) {
        tasks.failed = QStringLiteral("the match is not drawn");
    }
    step("next match", QStringLiteral(R"(
        const input = document.getElementById('search');
        input.value = '%1';
        input.dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter'})); 1)")
                           .arg(query));
    drawn("next match");
    if (tasks.failed.isEmpty() && !evalJs(page, current).toBool()) {
        tasks.failed = QStringLiteral("the next match is not drawn");
    }
    step("fit", QStringLiteral("document.getElementById('fit').click(); 1"));
    drawn("fit");
    step("expand", QStringLiteral("__korvantis.expandBelow(0)"));
    drawn("expand");
    step("close", QStringLiteral("korvantisTree.toggle(korvantisTree.order[0]); 1"));
    drawn("close");
    if (tasks.failed.isEmpty() && evalJs(page, QStringLiteral("__korvantis.drawn")).toInt() != 1) {
        tasks.failed = QStringLiteral("the closed root is not all that is drawn");
    }
    // One more turn of the timer after the last step.
    (void)waitForJs(page, QStringLiteral("performance.now() - __gaps.last < 50"));
    const QVariantList gaps =
        evalJs(page, QStringLiteral("__gaps.on = false; "
                                    "[__gaps.longest, __gaps.at, JSON.stringify(__gaps.steps)]"))
            .toList();
    if (gaps.size() == 3) {
        tasks.longestMs = gaps[0].toDouble();
        tasks.longestStep = gaps[1].toString();
        tasks.perStep = gaps[2].toString();
    } else if (tasks.failed.isEmpty()) {
        tasks.failed = QStringLiteral("the timer's figures did not come");
    }
    return tasks;
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
