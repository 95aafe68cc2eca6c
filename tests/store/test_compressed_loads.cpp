#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "input/temp_files.h"
#include "input/text_source.h"
#include "support/accounting.h"
#include "support/compressed_copies.h"
#include "support/loading.h"
#include "support/log_lines.h"
#include "support/store_content.h"

namespace korvantis {
namespace {

using testing::readAll;
using testing::TempDir;
using testsupport::checkAccounting;
using testsupport::LoadingWorkspace;
using testsupport::storeContent;

// Every sample loads the same from its gzip and zstd copies (one member or
// frame, or many) as from itself, and every row's text reads the same again.
TEST(CompressedLoads, SamplesLoadAsFromThePlainFile) {
    TempDir dir;
    for (const auto& entry : std::filesystem::directory_iterator(KORVANTIS_SAMPLES_DIR)) {
        if (entry.path().extension() != ".json") {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        const std::string bytes = readAll(entry.path());
        LoadingWorkspace plain;
        plain.load(entry.path().string());
        const struct {
            const char* name;
            std::string bytes;
        } copies[] = {
            {"log.gz", testsupport::gzipped(bytes)},
            {"members.gz", testsupport::gzipped(bytes, 6, 700)},
            {"log.zst", testsupport::zstdCompressed(bytes)},
            {"frames.zst",
             testsupport::zstdSkippableFrame("x") + testsupport::zstdCompressed(bytes, 3, 700)},
        };
        for (const auto& copy : copies) {
            SCOPED_TRACE(copy.name);
            LoadingWorkspace compressed;
            compressed.load(dir.write(copy.name, copy.bytes));
            EXPECT_EQ(storeContent(compressed.ws), storeContent(plain.ws));
            EXPECT_EQ(checkAccounting(bytes, compressed.ws), "");
            const LoadFigures& figures = compressed.ws.loader.outcomes().back().figures;
            EXPECT_EQ(figures.bytesRead, copy.bytes.size());
            EXPECT_EQ(figures.bytesTotal, copy.bytes.size());
        }
    }
}

// A stream that cannot be decoded to its end (here bytes after the last
// member that start none) loads every whole line before the failure, then
// one load error naming the compressed offset, on the line decoding stopped
// in; the accounting holds with that error as a line. (Where each kind of
// bad stream fails is the compressed reader's table.)
TEST(CompressedLoads, BadStreamEndsWithOneError) {
    std::string text;
    for (int i = 0; i < 400; ++i) {
        text += testsupport::procLine("ES_EVENT_TYPE_NOTIFY_EXEC", 100 + i, 1,
                                      "/bin/p" + std::to_string(i)) +
                "\n";
    }
    const std::string gz = testsupport::gzipped(text);
    TempDir dir;
    LoadingWorkspace loaded;
    loaded.load(dir.write("log", gz + "\n\n"));
    // The failure is the error of line 401, as the accounting checks.
    EXPECT_EQ(checkAccounting(text + decompressionFailureText(gz.size()) + "\n", loaded.ws), "");
}

}  // namespace
}  // namespace korvantis
