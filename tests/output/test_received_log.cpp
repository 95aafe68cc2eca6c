#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "input/temp_files.h"
#include "output/received_log.h"
#include "support/compressed_copies.h"
#include "support/loading.h"
#include "support/log_lines.h"

namespace korvantis {
namespace {

using testing::readAll;
using testing::TempDir;

// What came down a pipe is saved as it came (compressed bytes stay so), over
// a file that was there; a log read from a file is no received log.
TEST(ReceivedLog, SavedAsItCame) {
    TempDir dir;
    ::setenv("XDG_CACHE_HOME", dir.path().c_str(), 1);
    const std::string text =
        testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 5, 1, "/bin/a") + "\n" + "not json\n";
    for (const std::string& bytes : {text, testsupport::gzipped(text)}) {
        const std::string plain = dir.write("plain.json", text);
        const std::string fifo = (dir.path() / "fifo").string();
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] { testsupport::writeFile(fifo, bytes); });
        testsupport::LoadingWorkspace w;
        w.load({plain, fifo});
        writer.join();
        const LogFiles& logs = w.ws.store.logFiles();
        ASSERT_EQ(firstReceivedLog(logs), std::optional<std::uint32_t>(1));
        const std::string target = dir.write("saved.json", "old");
        EXPECT_EQ(saveReceivedLog(logs, 1, target), "");
        EXPECT_EQ(readAll(target), bytes);
        EXPECT_NE(saveReceivedLog(logs, 0, target), "");
        EXPECT_EQ(readAll(target), bytes);
        std::filesystem::remove(fifo);
    }
    ::unsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace korvantis
