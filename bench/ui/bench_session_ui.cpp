// A window's session of 100,000 marks: the window's thread's part of an
// autosave (copying the session) and of a restore (taking the marks and
// applying them to the loaded rows), and the worker's writing and reading
// of the file. Prints figures, checks nothing.
// Usage: bench_session_ui [LOG]

#include <QDir>
#include <QTemporaryDir>

#include <time.h>

#include "bench_window.h"
#include "investigation/kept_mark_texts.h"
#include "investigation/line_numbers.h"
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
    return 0;
}
