// Who did most in a trace: rows per type, program, file path and second.

#include "query/trace_summary.h"

#include <algorithm>
#include <optional>

#include "query/query_edit.h"

namespace korvantis {

namespace {

// The indices of the `top` busiest texts of `tally`: most rows first, then
// by the bytes of the text.
std::vector<std::uint32_t> busiest(const TextTally::Merged& tally, std::size_t top) {
    std::vector<std::uint32_t> order(tally.texts.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const std::size_t kept = std::min(top, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kept), order.end(),
                      [&](std::uint32_t a, std::uint32_t b) {
                          if (tally.counts[a] != tally.counts[b]) {
                              return tally.counts[a] > tally.counts[b];
                          }
                          const std::string_view x = tally.texts[a];
                          const std::string_view y = tally.texts[b];
                          return std::lexicographical_compare(
                              x.begin(), x.end(), y.begin(), y.end(), [](char c, char d) {
                                  return static_cast<unsigned char>(c) <
                                         static_cast<unsigned char>(d);
                              });
                      });
    order.resize(kept);
    return order;
}

std::vector<NamedCount> named(const TextTally::Merged& tally,
                              const std::vector<std::uint32_t>& texts) {
    std::vector<NamedCount> out;
    for (const std::uint32_t i : texts) {
        out.push_back({std::string(tally.texts[i]), tally.counts[i], 0});
    }
    return out;
}

}  // namespace

void TraceSummaryBuilder::add(const RowView& row) {
    ++rows_;
    types_.add(row.type);
    if (row.time != kNoTimeValue) {
        const TimeValue second = row.time / kTimeValueSecond * kTimeValueSecond;
        if (second != lastSecond_) {
            lastSecond_ = second;
            lastSecondRows_ = &seconds_[second];  // nodes stay put
        }
        ++*lastSecondRows_;
    }
    if (row.kind == RowKind::process) {
        programOfPid_[row.pid] = row.path;
        addProgram(row.path, row.pid);
        return;
    }
    if (row.kind != RowKind::other && !row.path.empty()) {
        paths_.add(row.path);
    }
    const std::string_view program = row.facts[Fact::process_path];
    if (!program.empty()) {
        addProgram(program, row.pid);
    } else if (const auto known = programOfPid_.find(row.pid); known != programOfPid_.end()) {
        addProgram(known->second, row.pid);
    }
}

void TraceSummaryBuilder::addProgram(std::string_view program, std::int64_t pid) {
    if (program.empty()) {
        return;
    }
    const std::uint32_t place = programs_.add(program);
    if (place == lastPidOfProgram_.size()) {
        lastPidOfProgram_.push_back(pid);
        programPids_.emplace_back(place, pid);
    } else if (lastPidOfProgram_[place] != pid) {
        lastPidOfProgram_[place] = pid;
        programPids_.emplace_back(place, pid);
    }
}

TraceSummary TraceSummaryBuilder::finish(std::size_t top, std::size_t seconds) const {
    TraceSummary summary;
    summary.rows = rows_;
    const TextTally::Merged types = types_.merged();
    summary.types = named(types, busiest(types, types.texts.size()));
    const TextTally::Merged paths = paths_.merged();
    summary.paths = named(paths, busiest(paths, top));
    // The listed programs' processes: their distinct pids over every place
    // of their texts.
    const TextTally::Merged programs = programs_.merged();
    const std::vector<std::uint32_t> listed = busiest(programs, top);
    summary.programs = named(programs, listed);
    std::vector<std::int32_t> rank(programs.texts.size(), -1);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        rank[listed[i]] = static_cast<std::int32_t>(i);
    }
    std::vector<std::pair<std::int32_t, std::int64_t>> pids;
    for (const auto& [place, pid] : programPids_) {
        if (const std::int32_t r = rank[programs.textOfPlace[place]]; r >= 0) {
            pids.emplace_back(r, pid);
        }
    }
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    for (const auto& [r, pid] : pids) {
        ++summary.programs[static_cast<std::size_t>(r)].processes;
    }
    // Most rows first, then earlier first.
    summary.seconds.reserve(seconds_.size());
    for (const auto& [start, rows] : seconds_) {
        summary.seconds.push_back({start, rows});
    }
    const std::size_t kept = std::min(seconds, summary.seconds.size());
    std::partial_sort(summary.seconds.begin(),
                      summary.seconds.begin() + static_cast<std::ptrdiff_t>(kept),
                      summary.seconds.end(), [](const BusySecond& a, const BusySecond& b) {
                          return a.rows != b.rows ? a.rows > b.rows : a.start < b.start;
                      });
    summary.seconds.resize(kept);
    return summary;
}

TraceSummary summarizeTrace(const RowsSnapshot& rows) {
    // The lists are each in load order: merged by their lines' places.
    TraceSummaryBuilder builder;
    PerKind<std::size_t> next{};
    for (;;) {
        std::optional<RowKind> first;
        LinePlace firstAt;
        for (const RowKind kind : kRowKinds) {
            const KindRowsSnapshot& list = rows.rows[kind];
            if (next[kind] < list.size() && (!first || list.placeOf(next[kind]) < firstAt)) {
                first = kind;
                firstAt = list.placeOf(next[kind]);
            }
        }
        if (!first) {
            break;
        }
        builder.add(rows.rows[*first].rowViewWithoutHits(next[*first]++));
    }
    return builder.finish();
}

std::string summaryLineTerms(const SummaryLine& line) {
    const auto term = [&](std::string_view key) {
        const std::string value = quotedValue(line.name);
        return value.size() > 2 ? std::string(key) + ":" + value : std::string();
    };
    switch (line.kind) {
        case SummaryLine::Kind::type:
            return term("type");
        case SummaryLine::Kind::program:
            return term(kFactNames[static_cast<std::size_t>(Fact::process_path)]);
        case SummaryLine::Kind::path:
            return term("path");
        case SummaryLine::Kind::second:
            break;
    }
    return "after:" + formatUtc(line.start) + " before:" + formatUtc(line.start + kTimeValueSecond);
}

std::string withSummaryLine(std::string_view query, const SummaryLine& line,
                            std::string_view previous) {
    const std::string terms = summaryLineTerms(line);
    return terms.empty() ? std::string(query) : withReplacedTerms(query, previous, terms);
}

}  // namespace korvantis
