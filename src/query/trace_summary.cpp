// Who did most in a trace: rows per type, program, file path and second.

#include "query/trace_summary.h"

#include <algorithm>

#include "query/query_edit.h"

namespace korvantis {

namespace {

constexpr TimeValue kSecond = 1'000'000'000;

// Most first, then by the bytes of the name.
bool busierFirst(const NamedCount& a, const NamedCount& b) {
    if (a.events != b.events) {
        return a.events > b.events;
    }
    return std::lexicographical_compare(
        a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [](char x, char y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        });
}

// The `top` busiest of `counts`, in order.
std::vector<NamedCount> busiest(const std::unordered_map<std::string_view, std::uint64_t>& counts,
                                std::size_t top) {
    std::vector<NamedCount> all;
    all.reserve(counts.size());
    for (const auto& [name, events] : counts) {
        all.push_back({std::string(name), events, 0});
    }
    const std::size_t kept = std::min(top, all.size());
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(kept), all.end(),
                      busierFirst);
    all.resize(kept);
    return all;
}

}  // namespace

void TraceSummaryBuilder::add(const FilterRow& row) {
    ++rows_;
    ++types_[row.type];
    times_.push_back(row.time);
    if (row.isProcess) {
        programOfPid_[row.pid] = row.path;
        addProgram(row.path, row.pid);
        return;
    }
    if (!row.isOther && !row.path.empty()) {
        ++paths_[row.path];
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
    const auto [it, added] = programs_.try_emplace(program);
    Program& p = it->second;
    if (added) {
        p.index = static_cast<std::uint32_t>(programs_.size() - 1);
    }
    if (added || p.lastPid != pid) {
        programPids_.emplace_back(p.index, pid);
        p.lastPid = pid;
    }
    ++p.events;
}

TraceSummary TraceSummaryBuilder::finish(std::size_t top, std::size_t seconds) {
    TraceSummary summary;
    summary.rows = rows_;
    summary.types = busiest(types_, types_.size());
    summary.paths = busiest(paths_, top);
    std::unordered_map<std::string_view, std::uint64_t> programEvents;
    for (const auto& [name, program] : programs_) {
        programEvents.emplace(name, program.events);
    }
    summary.programs = busiest(programEvents, top);
    // The processes of the listed programs only.
    std::vector<std::uint64_t> processes(programs_.size(), 0);
    std::sort(programPids_.begin(), programPids_.end());
    programPids_.erase(std::unique(programPids_.begin(), programPids_.end()), programPids_.end());
    for (const auto& [index, pid] : programPids_) {
        ++processes[index];
    }
    for (NamedCount& program : summary.programs) {
        program.processes = processes[programs_.at(program.name).index];
    }
    summary.seconds = busiestSeconds(times_, seconds);
    return summary;
}

TraceSummary summarizeTrace(const RowsSnapshot& rows) {
    // The three lists are each in load order: merged by their lines' places.
    TraceSummaryBuilder builder;
    std::size_t p = 0;
    std::size_t f = 0;
    std::size_t o = 0;
    constexpr std::size_t kEnd = SIZE_MAX;
    const auto entryAt = [](const auto& list, std::size_t i) {
        return i < list.size() ? list.entryOf(i) : kEnd;
    };
    for (;;) {
        const std::size_t pe = entryAt(rows.procs, p);
        const std::size_t fe = entryAt(rows.files, f);
        const std::size_t oe = entryAt(rows.others, o);
        if (pe == kEnd && fe == kEnd && oe == kEnd) {
            break;
        }
        if (pe < fe && pe < oe) {
            builder.add(rows.procs.filterRow(p++));
        } else if (fe < oe) {
            builder.add(rows.files.filterRow(f++));
        } else {
            builder.add(rows.others.filterRow(o++));
        }
    }
    return builder.finish();
}

std::string withSummaryLine(std::string_view query, const SummaryLine& line) {
    switch (line.kind) {
        case SummaryLine::Kind::type:
            return withTextTerm(query, "type", line.name);
        case SummaryLine::Kind::program:
        case SummaryLine::Kind::path:
            return withTextTerm(query, "path", line.name);
        case SummaryLine::Kind::second:
            break;
    }
    return withTimeRange(query, line.start, line.start + kSecond);
}

}  // namespace korvantis
