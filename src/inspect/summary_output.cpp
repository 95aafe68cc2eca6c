#include "inspect/summary_output.h"

#include <algorithm>
#include <vector>

#include "inspect/terminal_text.h"

namespace korvantis {

namespace {

// One section: each line's counts, right-aligned per column, then its name.
struct Section {
    std::vector<std::vector<std::uint64_t>> counts;
    std::vector<std::string> names;

    void add(std::vector<std::uint64_t> lineCounts, std::string name) {
        counts.push_back(std::move(lineCounts));
        names.push_back(std::move(name));
    }
    void appendTo(std::string& out, std::string_view title) const {
        out += title;
        out += ":\n";
        std::vector<std::size_t> widths;
        for (const auto& line : counts) {
            widths.resize(std::max(widths.size(), line.size()), 0);
            for (std::size_t c = 0; c < line.size(); ++c) {
                widths[c] = std::max(widths[c], std::to_string(line[c]).size());
            }
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            out += "  ";
            for (std::size_t c = 0; c < counts[i].size(); ++c) {
                const std::string n = std::to_string(counts[i][c]);
                out += std::string(widths[c] - n.size(), ' ') + n + "  ";
            }
            out += terminalText(names[i]) + "\n";
        }
    }
};

}  // namespace

std::string summaryText(const TraceSummary& summary) {
    std::string out = "rows: " + std::to_string(summary.rows) + "\n";
    Section types;
    for (const NamedCount& t : summary.types) {
        types.add({t.events}, t.name);
    }
    types.appendTo(out, "events per type (events, type)");
    Section programs;
    for (const NamedCount& p : summary.programs) {
        programs.add({p.events, p.processes}, p.name);
    }
    programs.appendTo(out, "programs with most events (events, processes, path)");
    Section paths;
    for (const NamedCount& p : summary.paths) {
        paths.add({p.events}, p.name);
    }
    paths.appendTo(out, "most touched file paths (events, path)");
    Section seconds;
    for (const BusySecond& s : summary.seconds) {
        seconds.add({s.rows}, formatUtc(s.start).substr(0, 19) + "Z");
    }
    seconds.appendTo(out, "busiest seconds (events, second in UTC)");
    return out;
}

}  // namespace korvantis
