// Sets of process ids, and the closure of a process over the processes it
// started: what a `tree:` term keeps.

#include "query/pid_set.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace korvantis {

namespace {

std::uint64_t mixPid(std::int64_t pid) {
    return static_cast<std::uint64_t>(pid) * 0x9E3779B97F4A7C15ull;
}

// Smallest power of two of at least twice `count` (and at least 16) slots.
std::size_t tableSize(std::size_t count) {
    std::size_t size = 16;
    while (size < count * 2) {
        size *= 2;
    }
    return size;
}

}  // namespace

// --- PidSet ---

PidSet::PidSet(std::int64_t low, std::uint64_t count)
    : low_(low), count_(count), bits_((count + 63) / 64, 0) {}

bool PidSet::hashedContains(std::int64_t pid) const {
    if (pid == kFree) {
        return hasFreeMarker_;
    }
    if (slots_.empty()) {
        return false;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = mixPid(pid) >> 20 & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == pid) {
            return true;
        }
        if (slots_[slot] == kFree) {
            return false;
        }
    }
}

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
    if (pid == kFree) {
        const bool added = !hasFreeMarker_;
        hasFreeMarker_ = true;
        size_ += added ? 1 : 0;
        return added;
    }
    if ((size_ - denseSize_ + 1) * 2 > slots_.size()) {
        grow();
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = mixPid(pid) >> 20 & mask;; slot = (slot + 1) & mask) {
        if (slots_[slot] == pid) {
            return false;
        }
        if (slots_[slot] == kFree) {
            slots_[slot] = pid;
            ++size_;
            return true;
        }
    }
}

void PidSet::grow() {
    std::vector<std::int64_t> old = std::move(slots_);
    slots_.assign(tableSize(size_ - denseSize_ + 1), kFree);
    const std::size_t mask = slots_.size() - 1;
    for (const std::int64_t pid : old) {
        if (pid == kFree) {
            continue;
        }
        std::size_t slot = mixPid(pid) >> 20 & mask;
        while (slots_[slot] != kFree) {
            slot = (slot + 1) & mask;
        }
        slots_[slot] = pid;
    }
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
        const std::size_t groups =
            dense_ ? static_cast<std::size_t>(ppids.count()) : tableSize(processes.size());
        if (!dense_) {
            keys_.assign(groups, 0);
            used_.assign(groups, 0);
        }
        start_.assign(groups + 1, 0);
        std::vector<std::uint32_t> groupOf(processes.size());
        for (std::size_t i = 0; i < processes.size(); ++i) {
            groupOf[i] = static_cast<std::uint32_t>(claimGroup(processes[i].ppid));
            ++start_[groupOf[i] + 1];
        }
        for (std::size_t g = 0; g < groups; ++g) {
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
    std::size_t claimGroup(std::int64_t ppid) {
        if (dense_) {
            return static_cast<std::size_t>(static_cast<std::uint64_t>(ppid) -
                                            static_cast<std::uint64_t>(low_));
        }
        const std::size_t mask = keys_.size() - 1;
        std::size_t slot = mixPid(ppid) >> 20 & mask;
        while (used_[slot] && keys_[slot] != ppid) {
            slot = (slot + 1) & mask;
        }
        used_[slot] = 1;
        keys_[slot] = ppid;
        return slot;
    }
    std::optional<std::size_t> findGroup(std::int64_t ppid) const {
        if (dense_) {
            const std::uint64_t offset =
                static_cast<std::uint64_t>(ppid) - static_cast<std::uint64_t>(low_);
            return offset < start_.size() - 1 ? std::optional<std::size_t>(offset) : std::nullopt;
        }
        const std::size_t mask = keys_.size() - 1;
        for (std::size_t slot = mixPid(ppid) >> 20 & mask; used_[slot]; slot = (slot + 1) & mask) {
            if (keys_[slot] == ppid) {
                return slot;
            }
        }
        return std::nullopt;
    }

    bool dense_ = false;
    std::int64_t low_ = 0;
    std::vector<std::int64_t> keys_;    // hashed groups only
    std::vector<std::uint8_t> used_;    // hashed groups only
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
