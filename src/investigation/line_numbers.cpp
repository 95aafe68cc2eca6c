// Line numbers of stored lines, found without walking the load errors.

#include "investigation/line_numbers.h"

#include <climits>
#include <cstdlib>

#include <algorithm>

#include "input/stream_reader.h"

namespace korvantis {

StoreLineNumbers::StoreLineNumbers(const EventStore& store)
    : logs_(store.logFiles().size()), refs_(store.lineRefs()) {
    // A log's stored lines stand together, in log order.
    const std::size_t lines = refs_.size();
    std::size_t at = 0;
    for (std::uint32_t log = 0; log < logs_.size(); ++log) {
        while (at < lines && refs_.ref(LinePlace(at)).log < log) {
            ++at;  // lines of a log already passed; none in practice
        }
        logs_[log].first = at;
        std::size_t last = lines;
        for (std::size_t lo = at; lo < last;) {
            const std::size_t mid = lo + (last - lo) / 2;
            if (refs_.ref(LinePlace(mid)).log <= log) {
                lo = mid + 1;
            } else {
                last = mid;
            }
        }
        logs_[log].end = last;
        at = last;
    }
    store.loadErrors().forEach([&](std::size_t, const LoadErrors::Entry& e) {
        if (e.isLine && e.origin.log < logs_.size()) {
            logs_[e.origin.log].errorLines.push_back(e.origin.line);
        }
    });
    for (Log& log : logs_) {
        std::sort(log.errorLines.begin(), log.errorLines.end());
        log.errorLines.erase(std::unique(log.errorLines.begin(), log.errorLines.end()),
                             log.errorLines.end());
        log.shifted.resize(log.errorLines.size());
        for (std::size_t i = 0; i < log.errorLines.size(); ++i) {
            log.shifted[i] = log.errorLines[i] - i;
        }
    }
}

std::uint64_t StoreLineNumbers::lineOf(LinePlace entry) const {
    const Log& log = logs_[refs_.ref(entry).log];
    // The k-th stored line is line k plus the error lines before it: those
    // whose number less the error lines before them is at most k.
    const std::uint64_t rank = entry.value() - log.first + 1;
    const auto before = std::upper_bound(log.shifted.begin(), log.shifted.end(), rank);
    return rank + static_cast<std::uint64_t>(before - log.shifted.begin());
}

std::optional<LinePlace> StoreLineNumbers::entryAt(std::uint32_t log, std::uint64_t line) const {
    if (log >= logs_.size() || line == 0) {
        return std::nullopt;
    }
    const Log& l = logs_[log];
    const auto errors = std::lower_bound(l.errorLines.begin(), l.errorLines.end(), line);
    if (errors != l.errorLines.end() && *errors == line) {
        return std::nullopt;
    }
    const std::uint64_t rank = line - static_cast<std::uint64_t>(errors - l.errorLines.begin());
    if (rank > l.end - l.first) {
        return std::nullopt;
    }
    return LinePlace(l.first + rank - 1);
}

std::string realLogPath(const std::string& path) {
    if (path == StreamReader::kStandardInput) {
        return {};
    }
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return {};
    }
    std::string out(real);
    std::free(real);
    return out;
}

}  // namespace korvantis
