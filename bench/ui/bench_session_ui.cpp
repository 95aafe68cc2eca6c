// A window's session of 100,000 marks: the window's thread's part of an
// autosave (copying the session), of Save Session As…, of a restore (taking
// the marks and applying them to the loaded rows) and of Open Session… in
// another window (the longest the window's thread keeps a 1 ms timer
// waiting, from the call until the marks are taken), and the worker's
// writing and reading of the file. Prints figures, checks nothing.
// Usage: bench_session_ui [LOG]

#include <QDir>
#include <QTemporaryDir>

#include <time.h>

#include "bench_window.h"
#include "investigation/kept_mark_texts.h"
#include "investigation/line_numbers.h"
#include "investigation/mark_book_copy.h"
#include "ui/marks/session_autosave.h"
#include "ui/marks/window_marks.h"
#include "ui/window/investigation_actions.h"
#include "workspace/workspace.h"

namespace {

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// CPU time of the calling thread: on a busy machine, the window thread's
// own work without the time it waited for a core.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvantis;
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    bench::BenchWindow bench(argc, argv);
    if (!bench.ready()) {
        return 1;
    }
    ui::MainView& view = bench.view();
    Workspace& ws = view.workspace();
    ws.loader.loadJsonFile(bench.log().toStdString());
    bench::spinUntil(
        [&] { return !ws.loader.progress().running && ws.store.lineRefs().size() > 0; });
    const std::size_t lines = ws.store.lineRefs().size();
    std::printf("lines: %zu\n", lines);

    MarkBook book;
    const std::string log = realLogPath(bench.log().toStdString());
    {
        LogMarks& marks = book.marksOf(log);
        const StoreLineNumbers numbers(ws.store);
        const std::size_t step = std::max<std::size_t>(1, lines / 100000);
        for (std::size_t e = 0; e < lines && marks.size() < 100000; e += step) {
            MarkText text;
            text.addTag("bookmark");
            text.note = "seen at step " + std::to_string(e);
            marks.emplace(MarkPlace{numbers.lineOf(LinePlace(e)),
                                    ws.store.lineRefs().ref(LinePlace(e)).checksum},
                          std::move(text));
        }
        std::printf("marks: %zu\n", marks.size());
    }
    ui::InvestigationActions& marking = *view.investigation();
    ui::WindowMarks& marks = marking.marks();
    ui::SessionAutosave& autosave = marking.autosave();

    // As a restored session is taken: its texts copied on the worker that
    // read it, then the marks taken on the window's thread.
    QElapsedTimer t;
    t.start();
    KeptMarkTexts texts(book);
    std::printf("restore, the worker's copy of the marks' texts: %.1f ms\n", msSince(t));
    t.restart();
    double cpu = threadCpuMs();
    marks.adopt(std::move(book), std::move(texts));
    const double adopt = msSince(t);
    const double adoptCpu = threadCpuMs() - cpu;
    t.restart();
    const std::size_t onRows = marks.marked().size();
    std::printf(
        "restore, window thread: take the marks %.1f ms (cpu %.1f ms), apply them to the rows "
        "%.1f ms (%zu on rows)\n",
        adopt, adoptCpu, msSince(t), onRows);

    t.restart();
    cpu = threadCpuMs();
    const std::size_t copied = MarkBookCopy(marks.book()).size();
    std::printf("the marks copied flat for a save: %.1f ms (cpu %.1f ms, %zu marks)\n", msSince(t),
                threadCpuMs() - cpu, copied);
    t.restart();
    cpu = threadCpuMs();
    autosave.saveNow();
    const double copy = msSince(t);
    const double copyCpu = threadCpuMs() - cpu;
    t.restart();
    autosave.waitForFiles();
    std::printf("autosave, window thread: %.1f ms (cpu %.1f ms); the worker's write: %.1f ms\n",
                copy, copyCpu, msSince(t));

    t.restart();
    const SessionRead read = readSession(QFile::encodeName(autosave.file()).toStdString());
    std::printf("restore, the worker's read: %.1f ms (%s)\n", msSince(t),
                read.session ? "read" : read.error.c_str());

    // The longest gap between the ticks of a 1 ms timer while `step` runs,
    // until `done` and for 300 ms more: what the step leaves to later turns
    // of the event loop (the settings written, the new window's load begun)
    // is the window's thread's too.
    QElapsedTimer clock;
    clock.start();
    double tookMs = 0;  // of the last step, until done
    const auto longestStall = [&](auto step, auto done) {
        qint64 last = clock.nsecsElapsed();
        qint64 longest = 0;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        ticker.start();
        last = clock.nsecsElapsed();
        step();
        bench::spinUntil(done);
        tookMs = msSince(t);
        const qint64 settled = clock.nsecsElapsed() + 300'000'000;
        bench::spinUntil([&] { return clock.nsecsElapsed() > settled; });
        longest = std::max(longest, clock.nsecsElapsed() - last);
        return static_cast<double>(longest) / 1e6;
    };
    const QString file = QDir(data.path()).filePath(QStringLiteral("bench.korvantis"));
    bool saved = false;
    QObject::connect(&marking, &ui::InvestigationActions::sessionSaved,
                     [&](const QString&, const QString& failed) {
                         saved = true;
                         if (!failed.isEmpty()) {
                             std::printf("save failed: %s\n", qPrintable(failed));
                         }
                     });
    t.restart();
    const double saveStall =
        longestStall([&] { marking.saveSessionTo(file); }, [&] { return saved; });
    std::printf("save session as, longest window-thread stall: %.1f ms (written in %.1f ms)\n",
                saveStall, tookMs);

    ui::MainView other([](const ui::TreeRequest&) {});
    ui::InvestigationActions& opening = *other.investigation();
    bool opened = false;
    QObject::connect(&opening, &ui::InvestigationActions::sessionOpened,
                     [&](const QString&, const QString& failed) {
                         opened = true;
                         if (!failed.isEmpty()) {
                             std::printf("open failed: %s\n", qPrintable(failed));
                         }
                     });
    t.restart();
    const double openStall =
        longestStall([&] { opening.openSession(file); }, [&] { return opened; });
    std::printf(
        "open session, longest window-thread stall: %.1f ms (read and taken in %.1f ms, %zu "
        "marks)\n",
        openStall, tookMs, opening.marks().book().size());
    Workspace& otherWs = other.workspace();
    bench::spinUntil([&] { return !otherWs.loader.progress().running; });
    return 0;
}
