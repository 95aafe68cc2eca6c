#include "index/lifetime_section.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "index/index_file.h"
#include "index/index_writer.h"
#include "store/process_lifetimes.h"

namespace korvantis {

namespace {

constexpr std::string_view kLifetimes = "lifetimes";

// The counts before the records: process rows, other rows, ended runs,
// ending exits and the bytes of the texts.
constexpr std::size_t kCounts = 5;
constexpr std::size_t kBlock = std::size_t{64} << 10;

template <typename Record>
std::string_view bytesOf(const Record& record) {
    return {reinterpret_cast<const char*>(&record), sizeof record};
}

}  // namespace

void writeLifetimeSection(IndexWriter& writer, const ProcessLifetimes& lifetimes) {
    // The outcome texts are few and kept once each: told apart by where
    // they are kept.
    std::unordered_map<const char*, std::uint32_t> placeOf;
    std::string texts;
    auto place = [&](std::string_view text) {
        if (text.data() == nullptr) {
            return KeptLifetimes::kNoOutcome;
        }
        const auto [at, added] =
            placeOf.try_emplace(text.data(), static_cast<std::uint32_t>(texts.size()));
        if (added) {
            texts.append(text);
            texts.push_back('\0');
        }
        return at->second;
    };
    const std::size_t procs = lifetimes.processRows();
    // The texts first: their size goes before the records.
    for (std::size_t i = 0; i < procs; ++i) {
        place(lifetimes.outcomeOf(i));
    }
    if (texts.size() >= KeptLifetimes::kNoOutcome) {
        writer.fail("the outcomes of its processes are too long");
    }
    writer.beginSection(kLifetimes);
    writer.appendU64(procs);
    writer.appendU64(lifetimes.otherRows());
    writer.appendU64(lifetimes.endedCount());
    writer.appendU64(lifetimes.endingExits().size());
    writer.appendU64(texts.size());
    // The records go out a block at a time, not one by one.
    std::string block;
    auto add = [&](std::string_view record) {
        block.append(record);
        if (block.size() >= kBlock) {
            writer.append(block);
            block.clear();
        }
    };
    for (std::size_t i = 0; i < procs; ++i) {
        const LifetimeEnd end = lifetimes.endOf(i);
        KeptLifetimes::RunRecord r{};
        r.end = static_cast<std::uint32_t>(end.row);
        r.outcome = place(lifetimes.outcomeOf(i));
        r.how = static_cast<std::uint8_t>(end.how);
        add(bytesOf(r));
    }
    for (std::size_t i = 0; i < lifetimes.endedCount(); ++i) {
        const auto row = static_cast<std::uint32_t>(lifetimes.endedRow(i));
        add(bytesOf(row));
    }
    for (const auto& [exitRow, procRow] : lifetimes.endingExits()) {
        add(bytesOf(KeptLifetimes::ExitRecord{exitRow, procRow}));
    }
    writer.append(block);
    writer.append(texts);
    writer.endSection();
}

std::optional<KeptLifetimes::Parts> readLifetimeSection(const IndexFile& file,
                                                        std::size_t processRows,
                                                        std::size_t otherRows,
                                                        std::string* whyNot) {
    auto bad = [whyNot] {
        if (whyNot != nullptr) {
            *whyNot = "section " + std::string(kLifetimes) + " does not hold what it should";
        }
        return std::nullopt;
    };
    const auto bytes = file.section(kLifetimes);
    if (!bytes) {
        if (whyNot != nullptr) {
            *whyNot = "it lacks the section of process lifetimes";
        }
        return std::nullopt;
    }
    SectionReader reader(*bytes);
    std::uint64_t count[kCounts];
    for (std::uint64_t& c : count) {
        const auto got = reader.u64();
        if (!got) {
            return bad();
        }
        c = *got;
    }
    const auto [procs, others, ended, exits, textBytes] = count;
    // Counts are believed only as far as the section can hold them.
    if (procs != processRows || others != otherRows || ended > procs || exits > others ||
        textBytes >= KeptLifetimes::kNoOutcome ||
        reader.left() != procs * sizeof(KeptLifetimes::RunRecord) + ended * 4 +
                             exits * sizeof(KeptLifetimes::ExitRecord) + textBytes) {
        return bad();
    }
    KeptLifetimes::Parts parts;
    parts.processRows = processRows;
    parts.otherRows = otherRows;
    parts.runs = *reader.bytes(procs * sizeof(KeptLifetimes::RunRecord));
    parts.ended = *reader.bytes(ended * 4);
    parts.exits = *reader.bytes(exits * sizeof(KeptLifetimes::ExitRecord));
    parts.texts = *reader.bytes(textBytes);
    if (!parts.texts.empty() && parts.texts.back() != '\0') {
        return bad();
    }
    // Every row a record names is one of the rows; every outcome the start
    // of a text.
    auto startsText = [&parts](std::uint32_t at) {
        return at == KeptLifetimes::kNoOutcome ||
               (at < parts.texts.size() && (at == 0 || parts.texts[at - 1] == '\0'));
    };
    for (std::size_t i = 0; i < procs; ++i) {
        KeptLifetimes::RunRecord r;
        std::memcpy(&r, parts.runs.data() + i * sizeof r, sizeof r);
        const auto how = static_cast<LifetimeEnd::How>(r.how);
        const bool endsAtRow = how == LifetimeEnd::How::exited || how == LifetimeEnd::How::became ||
                               how == LifetimeEnd::How::unseen;
        const std::size_t bound = how == LifetimeEnd::How::exited ? others : procs;
        if (r.how > LifetimeEnd::kLastHow || (endsAtRow && r.end >= bound) ||
            !startsText(r.outcome)) {
            return bad();
        }
    }
    for (std::size_t i = 0; i < ended; ++i) {
        std::uint32_t row;
        std::memcpy(&row, parts.ended.data() + i * 4, 4);
        if (row >= procs) {
            return bad();
        }
    }
    for (std::size_t i = 0; i < exits; ++i) {
        KeptLifetimes::ExitRecord e;
        std::memcpy(&e, parts.exits.data() + i * sizeof e, sizeof e);
        KeptLifetimes::ExitRecord before{};
        if (i > 0) {
            std::memcpy(&before, parts.exits.data() + (i - 1) * sizeof e, sizeof e);
        }
        if (e.exitRow >= others || e.procRow >= procs || (i > 0 && e.exitRow <= before.exitRow)) {
            return bad();
        }
    }
    return parts;
}

}  // namespace korvantis
