#include "index/load_sections.h"

#include "store/event_store.h"

namespace korvantis {

namespace {

constexpr std::string_view kGaps = "sequence-gaps";
constexpr std::string_view kErrors = "load-errors";
constexpr std::string_view kErrorTexts = "load-error-texts";

// A load error's fixed part: origin log and line, flags, the line's
// reference (offset, length and log, checksum), and its message's and
// name's places among the texts.
constexpr std::uint64_t kErrorWords = 10;
constexpr std::uint64_t kIsLine = 1;
constexpr std::uint64_t kStandsForLine = 2;

}  // namespace

void writeLoadSections(IndexWriter& writer, const EventStore& store) {
    writer.beginSection(kGaps);
    writer.appendU64(store.sequenceGaps().size());
    for (const SequenceGap& gap : store.sequenceGaps()) {
        writer.appendU64(gap.line);
        writer.appendU64(gap.lost);
        writer.appendU64(gap.log);
        writer.appendU64(gap.entry.value());
    }
    writer.endSection();

    const LoadErrors& errors = store.loadErrors();
    // The texts go in a section of their own, after the fixed parts: each
    // error's are known when it is written, their places then.
    std::string texts;
    auto place = [&texts](std::string_view text) {
        const std::uint64_t at = texts.size();
        texts.append(text);
        return std::pair<std::uint64_t, std::uint64_t>{at, text.size()};
    };
    writer.beginSection(kErrors);
    writer.appendU64(errors.listed());
    writer.appendU64(errors.folded());
    errors.forEach([&](std::size_t i, const LoadErrors::Entry& e) {
        const auto message = e.isLine ? std::pair<std::uint64_t, std::uint64_t>{0, 0}
                                      : place(errors.message(e.message));
        const auto name = e.origin.log == LoadErrors::kNamedLog
                              ? place(errors.originName(i, store.logFiles()))
                              : std::pair<std::uint64_t, std::uint64_t>{0, 0};
        writer.appendU64(e.origin.log);
        writer.appendU64(e.origin.line);
        writer.appendU64((e.isLine ? kIsLine : 0) | (e.standsForLine ? kStandsForLine : 0));
        writer.appendU64(e.ref.offset);
        writer.appendU64(std::uint64_t{e.ref.length} | std::uint64_t{e.ref.log} << 32);
        writer.appendU64(e.ref.checksum);
        writer.appendU64(message.first);
        writer.appendU64(message.second);
        writer.appendU64(name.first);
        writer.appendU64(name.second);
    });
    writer.endSection();
    writer.beginSection(kErrorTexts);
    writer.append(texts);
    writer.endSection();
}

std::optional<LoadSections> readLoadSections(const IndexFile& file, std::string* whyNot) {
    auto bad = [whyNot](std::string_view section) {
        if (whyNot != nullptr) {
            *whyNot = "section " + std::string(section) + " does not hold what it should";
        }
        return std::nullopt;
    };
    const auto gapBytes = file.section(kGaps);
    const auto errorBytes = file.section(kErrors);
    const auto textBytes = file.section(kErrorTexts);
    if (!gapBytes || !errorBytes || !textBytes) {
        if (whyNot != nullptr) {
            *whyNot = "it lacks a section of load results";
        }
        return std::nullopt;
    }
    LoadSections sections;
    SectionReader gaps(*gapBytes);
    const auto gapCount = gaps.u64();
    // A count is believed only as far as the section can hold it.
    if (!gapCount || *gapCount > gaps.left() / 32) {
        return bad(kGaps);
    }
    for (std::uint64_t i = 0; i < *gapCount; ++i) {
        SequenceGap gap;
        gap.line = *gaps.u64();
        gap.lost = *gaps.u64();
        const std::uint64_t log = *gaps.u64();
        gap.entry = LinePlace(*gaps.u64());
        if (log > UINT32_MAX) {
            return bad(kGaps);
        }
        gap.log = static_cast<std::uint32_t>(log);
        sections.sequenceGaps.push_back(gap);
    }
    if (!gaps.atEnd()) {
        return bad(kGaps);
    }

    SectionReader errors(*errorBytes);
    const SectionReader texts(*textBytes);
    const auto listed = errors.u64();
    const auto folded = errors.u64();
    if (!listed || !folded || *listed > errors.left() / (8 * kErrorWords)) {
        return bad(kErrors);
    }
    sections.foldedLoadErrors = *folded;
    sections.loadErrors.reserve(*listed);
    for (std::uint64_t i = 0; i < *listed; ++i) {
        std::uint64_t w[kErrorWords];
        for (std::uint64_t& word : w) {
            word = *errors.u64();
        }
        SavedLoadError saved;
        LoadErrors::Entry& e = saved.entry;
        if (w[0] > UINT32_MAX || (w[2] & ~(kIsLine | kStandsForLine)) != 0) {
            return bad(kErrors);
        }
        e.origin = {static_cast<std::uint32_t>(w[0]), w[1]};
        e.isLine = (w[2] & kIsLine) != 0;
        e.standsForLine = (w[2] & kStandsForLine) != 0;
        e.ref = {w[3], static_cast<std::uint32_t>(w[4]), static_cast<std::uint32_t>(w[4] >> 32),
                 w[5]};
        const auto message = texts.at(w[6], w[7]);
        const auto name = texts.at(w[8], w[9]);
        if (!message || !name) {
            return bad(kErrorTexts);
        }
        saved.message = *message;
        saved.name = *name;
        sections.loadErrors.push_back(saved);
    }
    if (!errors.atEnd()) {
        return bad(kErrors);
    }
    return sections;
}

}  // namespace korvantis
