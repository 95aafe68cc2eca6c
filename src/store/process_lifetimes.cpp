#include "store/process_lifetimes.h"

#include <algorithm>
#include <charconv>

#include "decode/event_kinds.h"
#include "store/process_outcome.h"

namespace korvantis {

namespace {

// The row's pid version as a number; nothing for a row without one (the
// viewer's own records, or an eslogger message that does not say).
std::optional<std::int64_t> pidversionOf(const RowView& row) {
    const std::string_view text = row.facts[Fact::pidversion];
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

bool ProcessLifetimes::isExec(const RowView& row) {
    return row.facts.any() && row.type == kEventKindNames[kExecKind];
}

bool ProcessLifetimes::isExit(const RowView& row) {
    return row.facts.any() && row.type == kExitType;
}

bool ProcessLifetimes::opensRun(const RowView& row) {
    return pidversionOf(row).has_value();
}

void ProcessLifetimes::add(const RowView& row) {
    if (row.kind == RowKind::process) {
        const bool ends = isExec(row) && hasOpenRuns(row.pid);
        addProcess(row, ends ? outcomeText(becameOutcome(row.path)) : nullptr);
        ++procs_;
    } else {
        if (isExit(row)) {
            addExit(row);
        }
        ++others_;
    }
}

void ProcessLifetimes::addProcess(const RowView& row, const char* became) {
    const auto self = static_cast<std::uint32_t>(procs_);
    if (isExec(row)) {
        // The image before the exec ends here, whatever its pid version.
        if (hasOpenRuns(row.pid)) {
            endOpenRuns(row.pid, LifetimeEnd::How::became, self, became);
        }
    }
    const std::optional<std::int64_t> version = pidversionOf(row);
    if (row.facts.any() && row.type == kEventKindNames[kForkKind] && hasOpenRuns(row.pid)) {
        // A new process got the pid: whatever had it before ended unseen.
        // (The same fork seen again, as when a log is loaded twice, is the
        // same process: its run goes on.)
        endOpenRuns(row.pid, LifetimeEnd::How::unseen, self, outcomeText(kEndedUnseenOutcome),
                    version);
    }
    Run& run = runs_.emplace_back(Run{version.value_or(0), 0, kNone});
    how_.push_back(version ? LifetimeEnd::How::running : LifetimeEnd::How::untracked);
    outcomes_.emplace_back(version ? kStillRunningOutcome.data() : nullptr);
    if (version) {
        std::uint32_t& latest = openRunsOf(row.pid).insert(row.pid, kNone).first;
        run.next = latest;
        latest = self;
    }
}

void ProcessLifetimes::endOpenRuns(std::int64_t pid, LifetimeEnd::How how, std::uint32_t end,
                                   const char* text, std::optional<std::int64_t> kept) {
    std::uint32_t* link = openRunsOf(pid).find(pid);
    if (link == nullptr || *link == kNone) {
        return;
    }
    while (*link != kNone) {
        Run& run = runs_[*link];
        if (kept && run.pidversion == *kept) {
            link = &run.next;
            continue;
        }
        run.end = end;
        how_[*link] = how;
        outcomes_[*link].store(text, std::memory_order_release);
        ended_.push_back(*link);
        *link = run.next;
    }
}

bool ProcessLifetimes::hasOpenRuns(std::int64_t pid) {
    const std::uint32_t* open = openRunsOf(pid).find(pid);
    return open != nullptr && *open != kNone;
}

const char* ProcessLifetimes::outcomeText(std::string_view text) {
    const auto known = outcomeTexts_.find(text);
    return (known != outcomeTexts_.end() ? known : outcomeTexts_.emplace(text).first)->c_str();
}

void ProcessLifetimes::addExit(const RowView& row) {
    const std::optional<std::int64_t> version = pidversionOf(row);
    std::uint32_t* const open = version ? openRunsOf(row.pid).find(row.pid) : nullptr;
    if (open == nullptr || *open == kNone) {
        return;
    }
    const auto self = static_cast<std::uint32_t>(others_);
    const char* const outcome = outcomeText(exitOutcome(row.facts[Fact::summary]));
    bool named = false;
    std::uint32_t* link = open;
    while (*link != kNone) {
        Run& run = runs_[*link];
        if (run.pidversion != *version) {
            link = &run.next;
            continue;
        }
        // The open runs come latest first: the first one is the one named.
        if (!named) {
            exits_.emplace_back(self, *link);
            named = true;
        }
        run.end = self;
        how_[*link] = LifetimeEnd::How::exited;
        outcomes_[*link].store(outcome, std::memory_order_release);
        ended_.push_back(*link);
        *link = run.next;
    }
}

LifetimeEnd ProcessLifetimes::endOf(std::size_t procRow) const {
    if (kept_) {
        return kept_->endOf(procRow);
    }
    const LifetimeEnd::How how = how_[procRow];
    if (how == LifetimeEnd::How::exited || how == LifetimeEnd::How::became ||
        how == LifetimeEnd::How::unseen) {
        return {how, runs_[procRow].end};
    }
    return {how, 0};
}

std::optional<std::size_t> ProcessLifetimes::endedBy(std::size_t otherRow) const {
    if (kept_) {
        return kept_->endedBy(otherRow);
    }
    const auto at = std::lower_bound(exits_.begin(), exits_.end(), otherRow,
                                     [](const std::pair<std::uint32_t, std::uint32_t>& e,
                                        std::size_t row) { return e.first < row; });
    if (at == exits_.end() || at->first != otherRow) {
        return std::nullopt;
    }
    return at->second;
}

}  // namespace korvantis
