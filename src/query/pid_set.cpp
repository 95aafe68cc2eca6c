// Sets of process ids, and the closure of a process over the processes it
// started: what a `tree:` term keeps.

#include "query/pid_set.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace korvantis {

// --- PidSet ---

PidSet::PidSet(std::int64_t low, std::uint64_t count)
    : low_(low), count_(count), bits_((count + 63) / 64, 0) {}

bool PidSet::insert(std::int64_t pid) {
    const std::uint64_t offset = static_cast<std::uint64_t>(pid) - static_cast<std::uint64_t>(low_);
    if (offset < count_) {
        std::uint64_t& word = bits_[offset / 64];
        const std::uint64_t bit = std::uint64_t{1} << (offset % 64);
        if (word & bit) {
            return false;
        }
        word |= bit;
        ++denseSize_;
        ++size_;
        return true;
    }
    const bool added = hashed_.insert(pid);
    size_ += added ? 1 : 0;
    return added;
}

// --- Tree closure ---

namespace {

// The smallest and largest of some pids, and how many values lie between.
struct PidRange {
    std::int64_t low = INT64_MAX;
    std::int64_t high = INT64_MIN;
    void add(std::int64_t pid) {
        low = std::min(low, pid);
        high = std::max(high, pid);
    }
    // Saturates instead of wrapping for the full 64-bit range.
    std::uint64_t count() const {
        const std::uint64_t span =
            static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
        return span == UINT64_MAX ? span : span + 1;
    }
    // Whether a table of `perRow` entries per row covers the range.
    bool denseFor(std::size_t rows, std::uint64_t perRow) const {
        return low <= high && count() <= perRow * rows + 65536;
    }
};

// The pids of each ppid's child rows, stored together per ppid. A ppid's
// group is found directly by its offset in the ppid range when that range is
// compact, else through a hash table.
class ChildLists {
  public:
    explicit ChildLists(std::span<const ProcessLink> processes) {
        PidRange ppids;
        for (const ProcessLink& link : processes) {
            ppids.add(link.ppid);
        }
        dense_ = ppids.denseFor(processes.size(), 4);
        low_ = ppids.low;
        start_.assign(dense_ ? static_cast<std::size_t>(ppids.count()) + 1 : 1, 0);
        if (!dense_) {
            groups_ = LinearProbingTable<std::int64_t, std::uint32_t>(processes.size());
        }
        std::vector<std::uint32_t> groupOf(processes.size());
        for (std::size_t i = 0; i < processes.size(); ++i) {
            groupOf[i] = claimGroup(processes[i].ppid);
            ++start_[groupOf[i] + 1];
        }
        for (std::size_t g = 0; g + 1 < start_.size(); ++g) {
            start_[g + 1] += start_[g];
        }
        children_.resize(processes.size());
        std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
        for (std::size_t i = 0; i < processes.size(); ++i) {
            children_[fill[groupOf[i]]++] = processes[i].pid;
        }
    }

    // The pids of the rows whose ppid is `ppid`.
    std::span<const std::int64_t> of(std::int64_t ppid) const {
        const std::optional<std::size_t> group = findGroup(ppid);
        if (!group) {
            return {};
        }
        return std::span<const std::int64_t>(children_).subspan(
            start_[*group], start_[*group + 1] - start_[*group]);
    }

  private:
    // The group of `ppid`'s children, made when it is new.
    std::uint32_t claimGroup(std::int64_t ppid) {
        if (dense_) {
            return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ppid) -
                                              static_cast<std::uint64_t>(low_));
        }
        const auto next = static_cast<std::uint32_t>(start_.size() - 1);
        const auto [group, added] = groups_.insert(ppid, next);
        if (added) {
            start_.push_back(0);
        }
        return group;
    }
    std::optional<std::size_t> findGroup(std::int64_t ppid) const {
        if (dense_) {
            const std::uint64_t offset =
                static_cast<std::uint64_t>(ppid) - static_cast<std::uint64_t>(low_);
            return offset < start_.size() - 1 ? std::optional<std::size_t>(offset) : std::nullopt;
        }
        const std::uint32_t* group = groups_.find(ppid);
        return group ? std::optional<std::size_t>(*group) : std::nullopt;
    }

    bool dense_ = false;
    std::int64_t low_ = 0;
    LinearProbingTable<std::int64_t, std::uint32_t> groups_;  // hashed groups only
    std::vector<std::uint32_t> start_;  // group g is children_[start_[g], start_[g + 1])
    std::vector<std::int64_t> children_;
};

}  // namespace

PidSet descendantPids(std::int64_t root, std::span<const ProcessLink> processes) {
    PidRange pids;
    pids.add(root);
    for (const ProcessLink& link : processes) {
        pids.add(link.pid);
    }
    PidSet members =
        pids.denseFor(processes.size(), 64) ? PidSet(pids.low, pids.count()) : PidSet();
    const ChildLists children(processes);
    members.insert(root);
    // Depth-first with an explicit stack: a chain of any length is fine.
    std::vector<std::int64_t> pending{root};
    while (!pending.empty()) {
        const std::int64_t parent = pending.back();
        pending.pop_back();
        for (const std::int64_t child : children.of(parent)) {
            if (members.insert(child)) {
                pending.push_back(child);
            }
        }
    }
    return members;
}

}  // namespace korvantis
