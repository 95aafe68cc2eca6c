#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rules/text_hash.h"

namespace korvantis {

// The parent a row's rules see, kept line by line through one log: the
// image last told for a pid, and the command line of the pid's last exec
// unless a fork made a new process with that pid since.
//
// Told on the filing thread for every line, so kept cheap: each text is held
// once however many pids tell it (a log has far fewer programs than
// processes), and a pid's image and command line share one slot of a flat
// table without a node each: an exec or a fork tells its pid's image too,
// and then finds the slot the image was told in still in the cache.
class Lineage {
  public:
    void clear();
    // Empty when nothing was told.
    std::string_view image(std::int64_t pid) const {
        const Told* told = byPid_.find(pid);
        return told == nullptr || told->image == kNone ? std::string_view{}
                                                       : std::string_view(*texts_[told->image]);
    }
    std::string_view commandLine(std::int64_t pid) const {
        const Told* told = byPid_.find(pid);
        return told == nullptr || told->command == kNone
                   ? std::string_view{}
                   : std::string_view(commands_[told->command - 1]);
    }
    void tellImage(std::int64_t pid, std::string_view image);
    // An exec row of `pid`; an empty command line is none.
    void exec(std::int64_t pid, std::string_view commandLine);
    void fork(std::int64_t pid);
    // Where what `pid` told is kept, to be fetched ahead of telling or
    // asking it; null when that takes a search.
    const void* placeOf(std::int64_t pid) const { return byPid_.placeOf(pid); }

  private:
    static constexpr std::uint32_t kNone = 0;
    // What a pid told: its image as a pool number, and its command line as
    // one more than its place in `commands_` (kNone: none). Plain numbers,
    // so that zeroed memory is a table of pids that told nothing.
    struct Told {
        std::uint32_t image = kNone;
        std::uint32_t command = kNone;
    };
    // pid → what it told. Told on every line in the order of the log, for
    // pids a process picks at random among those alive, so each look-up
    // would be a cache miss in a hashed table. Pids that fit macOS's pid_t
    // are found by place instead, 8 bytes each and no probing, in pages
    // taken as pids reach them: pids grow through a long trace, and a page
    // of neighbours is what the living processes share. The few others
    // (negative, or beyond any pid_t) are hashed. A pid once in stays in (a
    // forgotten one holds an empty value), as pids come back.
    class PidTable {
      public:
        void clear() {
            pages_.clear();
            slots_.clear();
            used_ = 0;
        }
        const Told* find(std::int64_t pid) const {
            if (isPlaced(pid)) {
                return placeOf(pid);
            }
            if (slots_.empty()) {
                return nullptr;
            }
            const Slot& slot = slots_[slotOf(slots_, pid)];
            return slot.used ? &slot.value : nullptr;
        }
        Told* find(std::int64_t pid) {
            return const_cast<Told*>(static_cast<const PidTable*>(this)->find(pid));
        }
        Told& operator[](std::int64_t pid) {
            if (isPlaced(pid)) {
                const auto page = static_cast<std::size_t>(pid) >> kPageBits;
                if (page >= pages_.size()) {
                    pages_.resize(page + 1);
                }
                if (!pages_[page]) {
                    pages_[page].reset(static_cast<Told*>(std::calloc(kPage, sizeof(Told))));
                    if (!pages_[page]) {
                        throw std::bad_alloc();
                    }
                }
                return pages_[page].get()[static_cast<std::size_t>(pid) & (kPage - 1)];
            }
            if ((used_ + 1) * 4 > slots_.size() * 3) {
                grow();
            }
            Slot& slot = slots_[slotOf(slots_, pid)];
            if (!slot.used) {
                slot.used = true;
                slot.pid = pid;
                ++used_;
            }
            return slot.value;
        }
        // Null for a hashed pid, or one whose page no pid reached yet.
        const Told* placeOf(std::int64_t pid) const {
            if (!isPlaced(pid)) {
                return nullptr;
            }
            const auto page = static_cast<std::size_t>(pid) >> kPageBits;
            return page < pages_.size() && pages_[page]
                       ? pages_[page].get() + (static_cast<std::size_t>(pid) & (kPage - 1))
                       : nullptr;
        }

      private:
        static constexpr unsigned kPageBits = 12;
        static constexpr std::size_t kPage = std::size_t{1} << kPageBits;  // pids
        static bool isPlaced(std::int64_t pid) { return pid >= 0 && pid <= INT32_MAX; }
        struct Slot {
            std::int64_t pid = 0;
            Told value{};
            bool used = false;
        };
        static std::size_t slotOf(const std::vector<Slot>& table, std::int64_t pid) {
            // Fibonacci hashing spreads pids that come in runs.
            const std::size_t mask = table.size() - 1;
            std::size_t at = static_cast<std::size_t>(
                                 static_cast<std::uint64_t>(pid) * 0x9e3779b97f4a7c15ULL >> 20) &
                             mask;
            while (table[at].used && table[at].pid != pid) {
                at = (at + 1) & mask;
            }
            return at;
        }
        void grow() {
            std::vector<Slot> old = std::move(slots_);
            slots_.clear();
            slots_.resize(old.empty() ? 64 : old.size() * 2);
            for (const Slot& slot : old) {
                if (slot.used) {
                    slots_[slotOf(slots_, slot.pid)] = slot;
                }
            }
        }
        struct Free {
            void operator()(Told* told) const { std::free(told); }
        };
        // By pid >> kPageBits: kPage of them each, all 0 bits: none.
        std::vector<std::unique_ptr<Told, Free>> pages_;
        std::vector<Slot> slots_;  // the other pids, open addressing
        std::size_t used_ = 0;
    };
    // Images are few (programs), kept once each; command lines are mostly
    // new with each exec, kept by pid, a pid's text reused by its next exec.
    std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>> pool_;
    std::vector<const std::string*> texts_{nullptr};  // pool keys by number; 0 is none
    std::vector<std::string> commands_;
    PidTable byPid_;
};

}  // namespace korvantis
