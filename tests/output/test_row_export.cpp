#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "input/temp_files.h"
#include "output/row_export.h"
#include "query/ordered_line_reads.h"
#include "store/event_store.h"
#include "support/compressed_copies.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

using testing::readAll;
using testing::TempDir;

// clang-format off
const std::vector<ExportRow> kRows = {
    {{RowKind::process, "ES_EVENT_TYPE_NOTIFY_EXEC", "1765000000.1", "/bin/zsh", 100, 1, {}},
     R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","x":"a,b"})"},
    {{RowKind::file, "ES_EVENT_TYPE_NOTIFY_OPEN", "1765000000.2", "/Users/\xC3\xA9milie/notes \"draft\", v2.txt", -7, 0, {}},
     "{\"event\":\"ES_EVENT_TYPE_NOTIFY_OPEN\"}\r"},
    {{RowKind::file, "ES_EVENT_TYPE_NOTIFY_WRITE", "t", "line\nbreak\rcr", 9, 0, {}}, "{}"},
};
// clang-format on

// Hands out `rows` one at a time.
ExportRowSource sourceOf(const std::vector<ExportRow>& rows) {
    return [&rows, i = std::size_t{0}](ExportRow& row) mutable {
        if (i == rows.size()) {
            return false;
        }
        row = rows[i++];
        return true;
    };
}

TEST(RowExport, BothFormats) {
    const std::vector<ExportRow> none;
    const struct {
        ExportFormat format;
        const std::vector<ExportRow>& rows;
        std::string expected;
    } cases[] = {
        {ExportFormat::jsonLines, kRows,
         "{\"event\":\"ES_EVENT_TYPE_NOTIFY_EXEC\",\"x\":\"a,b\"}\n"
         "{\"event\":\"ES_EVENT_TYPE_NOTIFY_OPEN\"}\r\n"
         "{}\n"},
        {ExportFormat::csv, kRows,
         "kind,type,timestamp,pid,ppid,path\n"
         "process,ES_EVENT_TYPE_NOTIFY_EXEC,1765000000.1,100,1,/bin/zsh\n"
         "file,ES_EVENT_TYPE_NOTIFY_OPEN,1765000000.2,-7,,"
         "\"/Users/\xC3\xA9milie/notes \"\"draft\"\", v2.txt\"\n"
         "file,ES_EVENT_TYPE_NOTIFY_WRITE,t,9,,\"line\nbreak\rcr\"\n"},
        // No rows: CSV still has its header, JSON lines an empty file.
        {ExportFormat::csv, none, "kind,type,timestamp,pid,ppid,path\n"},
        {ExportFormat::jsonLines, none, ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string target = (dir.path() / "out.txt").string();
        dir.write("out.txt", "old contents, replaced whole");
        const ExportResult result = exportRowsToFile(target, c.format, sourceOf(c.rows));
        EXPECT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.rows, c.rows.size());
        EXPECT_EQ(readAll(target), c.expected);
        // Only the target is left in the folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

// The quoting of CSV fields against a plain byte-by-byte reference, over
// paths of every length around the words the writer tests at once, with
// the bytes that need quotes anywhere in them.
TEST(RowExport, CsvQuotingMatchesAPlainReference) {
    auto reference = [](const std::string& text) {
        if (text.find_first_of("\",\r\n") == std::string::npos) {
            return text;
        }
        std::string quoted = "\"";
        for (const char c : text) {
            quoted += c == '"' ? "\"\"" : std::string(1, c);
        }
        return quoted + "\"";
    };
    std::mt19937 random(11);
    const std::string alphabet("ab,\"\r\n\x80\xff-+./\x0b\x0c", 14);
    std::vector<std::string> paths;
    std::vector<ExportRow> rows;
    std::string expected = "path\n";
    for (std::size_t length = 0; length < 40; ++length) {
        for (int draw = 0; draw < 20; ++draw) {
            std::string path(length, 'x');
            // Mostly plain, so that a quote byte often sits alone.
            for (char& c : path) {
                c = random() % 4 == 0 ? alphabet[random() % alphabet.size()] : 'x';
            }
            paths.push_back(path);
            expected += reference(path) + "\n";
        }
    }
    for (const std::string& path : paths) {
        rows.push_back({{RowKind::process, "ES_EVENT_TYPE_NOTIFY_EXEC", "t", path, 1, 1, {}}, ""});
    }
    TempDir dir;
    const std::string target = (dir.path() / "out.csv").string();
    ASSERT_TRUE(exportRowsToFile(target, ExportFormat::csv, sourceOf(rows), {FieldId::path}).ok());
    EXPECT_EQ(readAll(target), expected);
}

TEST(RowExport, FailedWriteLeavesNothingBehind) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "a folder");
    const struct {
        std::string target;
        std::string reason;
    } cases[] = {
        {(dir.path() / "missing" / "out.csv").string(), "No such file or directory"},
        {(dir.path() / "a folder").string(), "Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const ExportResult result = exportRowsToFile(c.target, ExportFormat::csv, sourceOf(kRows));
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.error, "Could not write \"" + c.target + "\": " + c.reason);
    }
    // Nothing but the folder made above, which is still empty.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "a folder"));
}

// What an export does to the file it replaces: the file keeps its mode and
// a link stays a link; the file it names gets the rows.
TEST(RowExport, ReplacingKeepsModeAndFollowsLinks) {
    namespace fs = std::filesystem;
    const mode_t mask = ::umask(022);
    ::umask(mask);
    const struct {
        const char* name;
        std::optional<fs::perms> before;  // of the file there, if any
        const char* link;                 // the target is a link to this name, if set
        fs::perms after;
    } cases[] = {
        {"private", fs::perms(0600), nullptr, fs::perms(0600)},
        {"new", std::nullopt, nullptr, fs::perms(0666 & ~mask)},
        {"linked", fs::perms(0640), "real.csv", fs::perms(0640)},
        {"dangling", std::nullopt, "made.csv", fs::perms(0666 & ~mask)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path target = dir.path() / "out.csv";
        const fs::path file = c.link ? dir.path() / c.link : target;
        if (c.before) {
            dir.write(file.filename().string(), "old");
            fs::permissions(file, *c.before);
        }
        if (c.link) {
            fs::create_symlink(c.link, target);
        }
        const ExportResult result =
            exportRowsToFile(target, ExportFormat::jsonLines, sourceOf(kRows));
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(fs::is_symlink(target), c.link != nullptr);
        EXPECT_EQ(fs::status(file).permissions(), c.after);
        EXPECT_EQ(readAll(target).substr(0, 11), R"({"event":"E)");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), c.link ? 2 : 1);
    }
}

// A special file is written into, never replaced by a regular file; a FIFO
// that no one reads is refused at once instead of waiting for a reader.
TEST(RowExport, SpecialFilesAreWrittenIntoNotReplaced) {
    TempDir dir;
    const std::string fifo = (dir.path() / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ExportResult unread = exportRowsToFile(fifo, ExportFormat::jsonLines, sourceOf(kRows));
    EXPECT_EQ(unread.error, "Could not write \"" + fifo + "\": No such device or address");
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const ExportResult read = exportRowsToFile(fifo, ExportFormat::jsonLines, sourceOf(kRows));
    EXPECT_TRUE(read.ok()) << read.error;
    char bytes[4096];
    const ssize_t n = ::read(reader, bytes, sizeof bytes);
    ::close(reader);
    EXPECT_EQ(std::string(bytes, n > 0 ? static_cast<std::size_t>(n) : 0).substr(0, 11),
              R"({"event":"E)");
    struct stat st {};
    EXPECT_TRUE(::stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_TRUE(exportRowsToFile("/dev/null", ExportFormat::csv, sourceOf(kRows)).ok());
    EXPECT_TRUE(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
}

// Rows read out of load order from a compressed log, a few a batch, give
// each line as it stands, as reading them one by one does.
TEST(RowExport, LinesReadOutOfOrderFromCompressedLogs) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text +=
            testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", i, 1,
                                  "/bin/" + std::string(static_cast<std::size_t>(i % 37), 'p')) +
            "\n";
    }
    const struct {
        const char* name;
        std::string bytes;
    } copies[] = {
        {"log.gz", testsupport::gzipped(text)},
        {"members.gz", testsupport::gzipped(text, 6, 700)},
        {"log.zst", testsupport::zstdCompressed(text)},
        {"plain.json", text},
    };
    for (const auto& copy : copies) {
        SCOPED_TRACE(copy.name);
        TempDir dir;
        testsupport::LoadingWorkspace w;
        w.load(dir.write(copy.name, copy.bytes));
        const LineRefTable& refs = w.ws.store.lineRefs();
        const std::size_t n = refs.size();
        ASSERT_EQ(n, 300u);
        // The last, the first, the last but one, ...
        const auto place = [n](std::size_t k) { return LinePlace(k % 2 ? k / 2 : n - 1 - k / 2); };
        OrderedLineReads reads(
            w.ws.store.logFiles(), n, [&](std::size_t k) { return refs.ref(place(k)); }, 2000);
        for (std::size_t k = 0; k < n; ++k) {
            const ReadBack<std::string_view> line = reads.read(k);
            const LineRead alone = w.ws.store.logFiles().read(refs.ref(place(k)));
            ASSERT_TRUE(line && alone) << k;
            EXPECT_EQ(*line, *alone) << k;
        }
    }
}

}  // namespace
}  // namespace korvantis
