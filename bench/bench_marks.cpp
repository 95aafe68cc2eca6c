// Marks: tagging every row of a query over a log of a million rows (the
// marks then saved), and a session of 100,000 marks saved and restored
// (read, and applied to the loaded rows).
// Usage: bench_marks [LOG]   (without LOG, a log of 1,000,000 lines is made)

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "inspect/marks_edit.h"
#include "investigation/line_numbers.h"
#include "investigation/row_marks.h"
#include "investigation/session_file.h"
#include "query/filter_query.h"

int main(int argc, char** argv) {
    using namespace korvantis;
    using bench::Clock;
    using bench::millisecondsSince;
    using bench::threadCpuMilliseconds;
    std::string log = argc > 1 ? argv[1] : "/tmp/korvantis-bench-marks.json";
    if (argc < 2) {
        const std::string command = std::string(KORVANTIS_GENLOG) + " 1000000 --seed 1 > " + log;
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "could not run %s\n", command.c_str());
            return 1;
        }
    }
    const std::string session = "/tmp/korvantis-bench-marks.korvantis";
    std::remove(session.c_str());
    TaskQueue tasks;
    Workspace ws(tasks.poster());
    ws.loader.setTreeFactsWanted(false);
    bench::loadLog(ws, tasks, log);
    const std::size_t rows = ws.store.lineRefs().size();
    std::printf("rows: %zu\n", rows);

    // Tagging every row a query shows, then saving them all.
    {
        InspectOptions options;
        options.logs = {log};
        options.addTag = "bookmark";
        SessionMarks marks(session);
        if (marks.read(options) != 0) {
            return 1;
        }
        marks.attach(ws.store);
        FilterQuery query = *parseFilterQuery("-type:no_such_type").query;
        auto start = Clock::now();
        double cpu = threadCpuMilliseconds();
        if (marks.apply(query, markEditOf(options)) != 0) {
            return 1;
        }
        std::printf("tag %zu rows from a query: %.0f ms (cpu %.0f ms)\n", rows,
                    millisecondsSince(start), threadCpuMilliseconds() - cpu);
        start = Clock::now();
        cpu = threadCpuMilliseconds();
        if (marks.save() != 0) {
            return 1;
        }
        std::printf("save those %zu marks: %.0f ms (cpu %.0f ms)\n", rows, millisecondsSince(start),
                    threadCpuMilliseconds() - cpu);
    }
    // A session of 100,000 marks: every tenth row, tagged and with a note.
    Session big;
    big.logs = {realLogPath(log)};
    {
        LogMarks& marks = big.marks.marksOf(realLogPath(log));
        const StoreLineNumbers numbers(ws.store);
        for (std::size_t e = 0; e < rows && marks.size() < 100000; e += 10) {
            const LinePlace entry(e);
            MarkText text;
            text.addTag("bookmark");
            text.addTag("case:" + std::to_string(e % 7));
            text.note = "seen at step " + std::to_string(e);
            marks.emplace(MarkPlace{numbers.lineOf(entry), ws.store.lineRefs().ref(entry).checksum},
                          std::move(text));
        }
        std::printf("marks: %zu\n", marks.size());
    }
    auto start = Clock::now();
    double cpu = threadCpuMilliseconds();
    if (const std::string failed = writeSession(session, big); !failed.empty()) {
        std::fprintf(stderr, "%s\n", failed.c_str());
        return 1;
    }
    std::printf("save a session of 100,000 marks: %.0f ms (cpu %.0f ms)\n",
                millisecondsSince(start), threadCpuMilliseconds() - cpu);
    start = Clock::now();
    cpu = threadCpuMilliseconds();
    const SessionRead read = readSession(session);
    if (!read.session) {
        std::fprintf(stderr, "%s\n", read.error.c_str());
        return 1;
    }
    const double readMs = millisecondsSince(start);
    const StoreLineNumbers numbers(ws.store);
    const RowMarks applied(ws.store, numbers, read.session->marks);
    std::printf(
        "restore it (read %.0f ms, applied to the rows): %.0f ms (cpu %.0f ms), %zu marks on "
        "rows\n",
        readMs, millisecondsSince(start), threadCpuMilliseconds() - cpu, applied.marked().size());
    std::remove(session.c_str());
    return 0;
}
