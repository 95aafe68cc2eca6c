// Reading an index file: any bytes are refused with a reason or read
// whole, every section and every place inside one within the file. A first
// byte with its low bit set has the harness put right the checksums and the
// written size first, so that the fuzzer reaches what lies behind them.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "index/index_file.h"
#include "index/index_format.h"
#include "index/journal_rows.h"
#include "index/load_journal.h"
#include "index/load_sections.h"
#include "index/section_checksum.h"
#include "index/tree_section.h"
#include "store/event_store.h"
#include "store/line_ref.h"

namespace {

using namespace korvantis;

void resign(std::string& bytes) {
    if (bytes.size() < kHeaderSize) {
        return;
    }
    const std::uint64_t tableAt = loadU64(bytes.data() + header_at::tableOffset);
    const std::uint64_t count = loadU32(bytes.data() + header_at::sectionCount);
    if (count <= kMaxSections && tableAt <= bytes.size() &&
        count * kTableEntrySize <= bytes.size() - tableAt) {
        for (std::uint64_t i = 0; i < count; ++i) {
            char* entry = bytes.data() + tableAt + i * kTableEntrySize;
            const std::uint64_t at = loadU64(entry + kSectionNameSize);
            const std::uint64_t length = loadU64(entry + kSectionNameSize + 8);
            if (at <= bytes.size() && length <= bytes.size() - at) {
                storeU64(entry + kSectionNameSize + 16,
                         sectionChecksum(std::string_view(bytes).substr(at, length)));
            }
        }
        storeU64(bytes.data() + header_at::tableChecksum,
                 sectionChecksum(std::string_view(bytes).substr(tableAt, count * kTableEntrySize)));
    }
    storeU64(bytes.data() + header_at::fileSize, bytes.size());
    storeU64(bytes.data() + header_at::headerChecksum,
             lineChecksum(std::string_view(bytes).substr(0, header_at::headerChecksum)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 1) != 0) {
        resign(bytes);
    }
    const int fd = ::memfd_create("index", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::abort();
    }
    std::string why;
    const std::shared_ptr<const IndexFile> file = IndexFile::over(fd, &why);
    if (!file) {
        ::close(fd);
        if (why.empty()) {
            std::abort();  // a refusal always says why
        }
        return 0;
    }
    // Every section lies inside the file: touching each byte would be
    // caught by the address sanitizer otherwise (the mapping is exact).
    std::uint64_t sum = 0;
    for (const std::string& name : file->sectionNames()) {
        // (The optional is kept: a range over what a temporary holds
        // would outlive it.)
        const auto bytes = file->section(name);
        for (const char c : *bytes) {
            sum += static_cast<unsigned char>(c);
        }
    }
    if (const auto sections = readLoadSections(*file, &why)) {
        for (const SavedLoadError& error : sections->loadErrors) {
            sum += error.message.size() + error.name.size();
            if (!error.message.empty()) {
                sum += static_cast<unsigned char>(error.message.back());
            }
            if (!error.name.empty()) {
                sum += static_cast<unsigned char>(error.name.front());
            }
        }
    } else if (why.empty()) {
        std::abort();
    }
    // A kept tree: both texts inside the section, whatever its lengths say.
    if (const auto tree = readTreeSection(*file)) {
        sum += tree->json.size() + static_cast<unsigned char>(tree->json.back());
        if (!tree->facts.empty()) {
            sum += static_cast<unsigned char>(tree->facts.front()) +
                   static_cast<unsigned char>(tree->facts.back());
        }
    }
    // A load's journal: checked whole, then every row handed out and read
    // as a view does.
    why.clear();
    if (auto journal = JournalReplay::read(*file, &why)) {
        RowTexts texts;
        journal->keepTexts(texts);
        FiledRows rows;
        while (journal->next(rows, 3, 100, 64, texts)) {
            for (const auto& kind : rows.rows) {
                for (const RowView& row : kind) {
                    sum += row.type.size() + row.path.size() + row.timestamp.size();
                    for (std::size_t f = 0; f < kFactCount; ++f) {
                        sum += row.facts[static_cast<Fact>(f)].size();
                    }
                }
            }
            for (const FiledRows::StoredLine& line : rows.lines) {
                sum += line.ref.length;
            }
            rows.clear();
        }
        if (rows.errorMessages.size() > 1) {
            sum += static_cast<unsigned char>(rows.errorMessages.back());
        }
    } else if (why.empty()) {
        std::abort();
    }
    // The same journal read in place, as a reopened store reads it.
    if (auto journal = JournalReplay::read(*file, nullptr, true)) {
        const JournalRows mapped(file, std::move(*journal), 3);
        const KeptLifetimes& lifetimes = *mapped.lifetimes();
        for (std::size_t i = 0; i < lifetimes.processRows(); ++i) {
            const char* outcome = lifetimes.outcomeOf(i);
            sum += lifetimes.endOf(i).row + (outcome != nullptr ? std::strlen(outcome) : 0);
        }
        for (std::size_t i = 0; i < lifetimes.otherRows(); ++i) {
            sum += lifetimes.endedBy(i).value_or(0);
        }
        for (const RowKind kind : kRowKinds) {
            for (std::size_t i = 0; i < mapped.rowCount(kind); ++i) {
                const RowView row = mapped.row(kind, i);
                sum += row.type.size() + row.path.size() + row.timestamp.size() +
                       mapped.lineOf(kind, i);
                for (std::size_t f = 0; f < kFactCount; ++f) {
                    sum += row.facts[static_cast<Fact>(f)].size();
                }
            }
        }
        for (std::size_t line = 0; line < mapped.lineCount(); ++line) {
            sum += mapped.lineRef(line).length;
        }
    }
    return sum == 1 ? 1 : 0;  // keeps the reads
}
