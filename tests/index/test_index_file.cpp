// The index file's writer and its checking reader: what is written reads
// back, and every kind of damage is refused with its reason.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "index/index_file.h"
#include "index/index_format.h"
#include "index/index_writer.h"
#include "index/journal_scan.h"
#include "index/section_checksum.h"
#include "index/spill_buffer.h"
#include "input/temp_files.h"
#include "store/line_ref.h"

namespace korvantis {
namespace {

using testing::readAll;
using testing::TempDir;

const LogIdentity kIdentity{11, 22, 33, -44, 55, 66};

// An index of three sections, the middle one spanning several checksum
// blocks, written in pieces that straddle them.
std::string sampleIndex(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    IndexWriter writer(fd);
    writer.beginSection("names");
    writer.append("exec");
    writer.append("fork");
    writer.endSection();
    writer.beginSection("rows");
    std::string big(2 * kChecksumBlock + 12345, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 131 % 251);
    }
    for (std::size_t at = 0; at < big.size(); at += 777777) {
        writer.append(std::string_view(big).substr(at, 777777));
    }
    writer.endSection();
    writer.beginSection("empty");
    writer.endSection();
    // Spilled bytes are copied into a section of their own by the kernel,
    // and read back after bytes of the section already written; given in
    // small pieces, or in one larger than the buffer's room.
    for (const std::string_view prefix : {"", "head"}) {
        SpillBuffer spill(std::filesystem::path(path).parent_path().string());
        const std::size_t piece = prefix.empty() ? 4099 : big.size();
        for (std::size_t at = 0; at < big.size(); at += piece) {
            spill.append(std::string_view(big).substr(at, piece));
        }
        writer.beginSection(prefix.empty() ? "spilled" : "spilled-after");
        writer.append(prefix);
        EXPECT_TRUE(spill.copyTo(writer)) << spill.failure();
        writer.endSection();
    }
    std::string why;
    EXPECT_TRUE(writer.finish(kIdentity, &why)) << why;
    ::close(fd);
    return big;
}

TEST(IndexFile, ReadsBackWhatWasWritten) {
    TempDir dir;
    const std::string path = (dir.path() / "a.index").string();
    const std::string rows = sampleIndex(path);
    std::string why;
    const auto file = IndexFile::open(path, &why);
    ASSERT_TRUE(file) << why;
    EXPECT_EQ(file->identity(), kIdentity);
    EXPECT_EQ(file->sectionNames(),
              (std::vector<std::string>{"names", "rows", "empty", "spilled", "spilled-after"}));
    EXPECT_EQ(file->section("spilled"), rows);
    EXPECT_EQ(file->section("spilled-after"), "head" + rows);
    EXPECT_EQ(file->section("names"), "execfork");
    EXPECT_EQ(file->section("rows"), rows);
    EXPECT_EQ(file->section("empty"), "");
    EXPECT_FALSE(file->section("none"));
    EXPECT_TRUE(file->intact());

    SectionReader reader(*file->section("names"));
    EXPECT_EQ(reader.at(4, 4), "fork");
    EXPECT_FALSE(reader.at(5, 4));
    EXPECT_FALSE(reader.at(~0ull, 2));  // no wrap-around
    EXPECT_EQ(reader.bytes(4), "exec");
    EXPECT_FALSE(reader.u64());  // 4 bytes left, not 8
    EXPECT_TRUE(reader.atEnd());
}

// Rewrites the table's and then the header's checksums, so that a change
// made inside them is judged by what it says, not by its checksum.
void resign(std::string& bytes) {
    const std::uint64_t tableAt = loadU64(bytes.data() + header_at::tableOffset);
    const std::uint32_t count = loadU32(bytes.data() + header_at::sectionCount);
    if (tableAt + std::uint64_t{count} * kTableEntrySize <= bytes.size()) {
        storeU64(bytes.data() + header_at::tableChecksum,
                 sectionChecksum(std::string_view(bytes).substr(tableAt, count * kTableEntrySize)));
    }
    storeU64(bytes.data() + header_at::headerChecksum,
             lineChecksum(std::string_view(bytes).substr(0, header_at::headerChecksum)));
}

char* entry(std::string& bytes, int i) {
    return bytes.data() + loadU64(bytes.data() + header_at::tableOffset) + i * kTableEntrySize;
}

TEST(IndexFile, RefusesDamagedAndForeignFiles) {
    struct Case {
        const char* name;
        std::function<void(std::string&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", [](std::string& b) { b.clear(); }, "shorter than an index header"},
        {"cut in its header", [](std::string& b) { b.resize(100); }, "shorter than an index"},
        {"another file", [](std::string& b) { b[0] = '{'; }, "not an index file"},
        {"a newer format", [](std::string& b) { storeU32(b.data() + header_at::version, 9); },
         "of a newer format (version 9)"},
        {"an older format", [](std::string& b) { storeU32(b.data() + header_at::version, 0); },
         "of an older format (version 0)"},
        {"header byte flipped", [](std::string& b) { b[header_at::identity] ^= 1; },
         "header is damaged"},
        {"cut short", [](std::string& b) { b.pop_back(); }, "not the"},
        {"longer", [](std::string& b) { b.push_back('x'); }, "not the"},
        {"table byte flipped", [](std::string& b) { entry(b, 1)[kSectionNameSize + 8] ^= 1; },
         "section table is damaged"},
        {"section byte flipped",
         [](std::string& b) { b[loadU64(entry(b, 1) + kSectionNameSize) + 5] ^= 1; },
         "section rows is damaged"},
        {"too many sections",
         [](std::string& b) {
             storeU32(b.data() + header_at::sectionCount, kMaxSections + 1);
             resign(b);
         },
         "too many sections"},
        {"table past the end",
         [](std::string& b) {
             storeU64(b.data() + header_at::tableOffset, b.size() - 8);
             resign(b);
         },
         "section table lies outside the file"},
        {"table over the header",
         [](std::string& b) {
             storeU64(b.data() + header_at::tableOffset, 0);
             resign(b);
         },
         "section table lies outside the file"},
        {"section past the table",
         [](std::string& b) {
             storeU64(entry(b, 0) + kSectionNameSize + 8, ~0ull - 100);
             resign(b);
         },
         "section names lies outside the file"},
        {"section in the header",
         [](std::string& b) {
             storeU64(entry(b, 0) + kSectionNameSize, 64);
             resign(b);
         },
         "section names lies outside the file"},
        {"section not aligned",
         [](std::string& b) {
             storeU64(entry(b, 2) + kSectionNameSize, loadU64(entry(b, 2) + kSectionNameSize) + 8);
             resign(b);
         },
         "section empty lies outside the file"},
        {"sections overlapping",
         [](std::string& b) {
             storeU64(entry(b, 2) + kSectionNameSize, loadU64(entry(b, 1) + kSectionNameSize));
             storeU64(entry(b, 2) + kSectionNameSize + 8, 8);
             resign(b);
         },
         "overlap"},
        {"a name twice",
         [](std::string& b) {
             std::memcpy(entry(b, 2), "rows\0", 5);
             resign(b);
         },
         "named twice"},
        {"a name of bad bytes",
         [](std::string& b) {
             entry(b, 0)[0] = '/';
             resign(b);
         },
         "names a section badly"},
        {"a name with bytes after its end",
         [](std::string& b) {
             entry(b, 0)[kSectionNameSize - 1] = 'x';
             resign(b);
         },
         "names a section badly"},
    };
    TempDir dir;
    const std::string good = (dir.path() / "good.index").string();
    sampleIndex(good);
    for (const Case& c : cases) {
        std::string bytes = readAll(good);
        c.damage(bytes);
        const std::string path = dir.write("bad.index", bytes);
        std::string why;
        EXPECT_FALSE(IndexFile::open(path, &why)) << c.name;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
    }
    bool absent = false;
    std::string why;
    EXPECT_FALSE(IndexFile::open((dir.path() / "none").string(), &why, &absent));
    EXPECT_TRUE(absent);
}

TEST(IndexFile, AFullDiskFailsTheWrite) {
    const int fd = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    IndexWriter writer(fd);
    writer.beginSection("rows");
    writer.append(std::string(3 << 20, 'r'));
    writer.endSection();
    std::string why;
    EXPECT_FALSE(writer.finish(kIdentity, &why));
    EXPECT_EQ(why, "No space left on device");
    ::close(fd);
}

// Another program cuts the file short while it is mapped: the pages past
// the new end read as zeros instead of ending the program with SIGBUS.
TEST(IndexFile, ACutUnderTheMappingDoesNotKill) {
    TempDir dir;
    const std::string path = (dir.path() / "a.index").string();
    sampleIndex(path);
    const auto file = IndexFile::open(path);
    ASSERT_TRUE(file);
    const int writable = ::open(path.c_str(), O_WRONLY);
    ASSERT_EQ(::ftruncate(writable, 4096), 0);
    ::close(writable);
    const std::string_view rows = *file->section("rows");
    const volatile unsigned char* bytes =
        reinterpret_cast<const volatile unsigned char*>(rows.data());
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < rows.size(); at += 4096) {
        sum += bytes[at];
    }
    EXPECT_FALSE(file->intact());
    EXPECT_EQ(bytes[rows.size() - 1], 0);
    EXPECT_EQ(sum, 0u);  // every page read after the cut is zeros
}

// What the check's reads hand a scan comes in pieces of any size: the
// scans find from them what they find in the whole section.
TEST(IndexFile, ScansFindInPiecesWhatTheyFindInTheWhole) {
    std::mt19937 random(7);
    std::string texts, facts;
    std::size_t middle = 0;  // where text 100 of the facts is
    std::string lines(200 * sizeof(LineRecord), '\0');
    for (std::uint32_t i = 0; i < 200; ++i) {
        const std::string text(random() % 40, static_cast<char>('a' + i % 26));
        const auto length = static_cast<std::uint32_t>(text.size());
        texts.append(reinterpret_cast<const char*>(&length), 4).append(text);
        // Facts of one fact (bit 1), `text` its value.
        middle = i == 100 ? facts.size() : middle;
        const std::uint32_t encoded = 4 + length;
        const std::uint16_t head[2] = {2, static_cast<std::uint16_t>(length)};
        facts.append(reinterpret_cast<const char*>(&encoded), 4)
            .append(reinterpret_cast<const char*>(head), 4)
            .append(text);
        const LineRecord line{i * 100, i, 50, static_cast<std::uint8_t>(random() % 4), 1, 0};
        std::memcpy(lines.data() + i * sizeof line, &line, sizeof line);
    }
    std::string badFacts = facts;
    badFacts[middle + 5] = '\xff';  // a mask of unknown facts
    auto fed = [](SectionScan& scan, std::string_view bytes, std::size_t piece) {
        scan.begin(bytes.size());
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            scan.add(bytes.substr(at, piece));
        }
    };
    const auto whole = TextPlaces::of(texts);
    ASSERT_TRUE(whole);
    JournalScan::Lines wholeLines(true);
    fed(wholeLines, lines, lines.size());
    for (const std::size_t piece : {1, 3, 4, 5, 23, 24, 25, 1000}) {
        TextPlaces::Finder finder;
        fed(finder, texts, piece);
        const auto found = std::move(finder).places(texts);
        ASSERT_TRUE(found) << piece;
        ASSERT_EQ(found->size(), whole->size());
        for (std::size_t i = 0; i < whole->size(); ++i) {
            ASSERT_EQ((*found)[i], (*whole)[i]) << piece << ", text " << i;
        }
        for (const std::string* section : {&facts, &badFacts}) {
            TextPlaces::Finder checked(isEncodedFacts, 1000);
            fed(checked, *section, piece);
            EXPECT_EQ(std::move(checked).places(*section).has_value(), section == &facts) << piece;
        }
        TextPlaces::Finder cut;
        fed(cut, std::string_view(texts).substr(0, texts.size() - 1), piece);
        EXPECT_FALSE(std::move(cut).places(std::string_view(texts).substr(0, texts.size() - 1)));
        JournalScan::Lines scanned(true);
        fed(scanned, lines, piece);
        EXPECT_TRUE(scanned.sound);
        EXPECT_EQ(scanned.textEnd, wholeLines.textEnd);
        for (const RowKind kind : kRowKinds) {
            EXPECT_EQ(scanned.rows[kind], wholeLines.rows[kind]);
            EXPECT_EQ(scanned.places->lineOf[kind], wholeLines.places->lineOf[kind]) << piece;
        }
        EXPECT_EQ(scanned.places->rowless, wholeLines.places->rowless);
    }
}

// The section checksum against changes a damaged file shows: every one
// changes the sum, taken wide or plain, whole or in pieces.
TEST(SectionChecksum, NoticesDamageWhicheverWayItIsTaken) {
    std::mt19937_64 random(11);
    std::string bytes(kChecksumBlock + 3 * 1024 + 17, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    auto swapped = [](std::size_t a, std::size_t b, std::size_t n) {
        return [=](std::string& s) {
            std::swap_ranges(s.begin() + a, s.begin() + a + n, s.begin() + b);
        };
    };
    const struct {
        const char* name;
        std::function<void(std::string&)> change;
    } changes[] = {
        {"first bit", [](std::string& s) { s[0] ^= 1; }},
        {"a bit of the last step", [](std::string& s) { s[kChecksumBlock - 3] ^= 64; }},
        {"a bit short of a step", [](std::string& s) { s[s.size() - 2] ^= 8; }},
        {"words of one step traded", swapped(8, 16, 8)},
        {"steps traded", swapped(64, 128, 64)},
        {"steps a scramble apart traded", swapped(0, 1024, 64)},
        {"blocks' first steps traded", swapped(0, kChecksumBlock, 64)},
        {"a zero byte more", [](std::string& s) { s.push_back('\0'); }},
        {"cut by a byte", [](std::string& s) { s.pop_back(); }},
        {"a word's halves traded", swapped(256, 260, 4)},
    };
    const std::uint64_t sum = sectionChecksum(bytes);
    for (const auto& [name, change] : changes) {
        std::string changed = bytes;
        change(changed);
        EXPECT_NE(sectionChecksum(changed), sum) << name;
    }
    for (const std::size_t size : {0, 1, 63, 64, 65, 1023, 1024, 1088, 4097}) {
        const std::string_view block = std::string_view(bytes).substr(5, size);
        EXPECT_EQ(detail::blockChecksum(block, true), detail::blockChecksum(block, false)) << size;
    }
    for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{4096},
                                    kChecksumBlock - 1, kChecksumBlock + 1}) {
        SectionChecksum pieces;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            pieces.add(std::string_view(bytes).substr(at, piece));
        }
        EXPECT_EQ(pieces.finish(), sum) << piece;
    }
    // Blocks summed apart and folded give the whole's sum.
    const std::string large = bytes + std::string(2 * kChecksumBlock, 'x') + bytes;
    for (const std::size_t length : {std::size_t{0}, std::size_t{7}, kChecksumBlock,
                                     kChecksumBlock + 1, 2 * kChecksumBlock + 65, large.size()}) {
        const std::string_view whole = std::string_view(large).substr(0, length);
        std::vector<std::uint64_t> sums;
        for (std::size_t at = 0; at < length; at += kChecksumBlock) {
            sums.push_back(detail::blockChecksum(whole.substr(at, kChecksumBlock), false));
        }
        EXPECT_EQ(sectionChecksumOfBlocks(sums, length), sectionChecksum(whole)) << length;
    }
}

}  // namespace
}  // namespace korvantis
