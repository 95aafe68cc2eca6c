#include "index/mapped_file.h"

#include <signal.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace korvantis {

namespace {

// The mappings the SIGBUS handler answers for. Slots are claimed and freed
// by the mapping's owner and read by the handler, which may run on any
// thread at any moment: plain atomics, no lock.
constexpr int kSlots = 256;
enum SlotState : int { kFree = 0, kClaimed = 1, kActive = 2 };
struct Slot {
    std::atomic<int> state{kFree};
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::size_t> size{0};
    std::atomic<std::atomic<bool>*> cut{nullptr};
};
Slot gSlots[kSlots];
struct sigaction gPrevious;

void onBusError(int signal, siginfo_t* info, void* context) {
    // A SIGBUS sent by another process has no faulting address of ours.
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Slot& slot : gSlots) {
        if (info->si_code <= 0) {
            break;
        }
        if (slot.state.load(std::memory_order_acquire) != kActive) {
            continue;
        }
        const std::uintptr_t begin = slot.begin.load(std::memory_order_relaxed);
        const std::size_t size = slot.size.load(std::memory_order_relaxed);
        if (address >= begin && address - begin < size) {
            // mmap is a plain system call: safe here. The read that
            // faulted is tried again and now reads zeros.
            ::mmap(reinterpret_cast<void*>(begin), size, PROT_READ,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            slot.cut.load(std::memory_order_relaxed)->store(true, std::memory_order_release);
            return;
        }
    }
    // Not ours: what would have happened without this handler.
    if ((gPrevious.sa_flags & SA_SIGINFO) != 0 && gPrevious.sa_sigaction != nullptr) {
        gPrevious.sa_sigaction(signal, info, context);
    } else if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
        gPrevious.sa_handler(signal);
    } else {
        ::signal(SIGBUS, SIG_DFL);
        ::raise(SIGBUS);  // delivered on return, by the default action
    }
}

void installHandler() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &gPrevious);
    });
}

}  // namespace

std::unique_ptr<MappedFile> MappedFile::map(int fd, std::uint64_t size, std::string* whyNot) {
    if (size == 0) {
        return std::unique_ptr<MappedFile>(new MappedFile(nullptr, 0));
    }
    installHandler();
    void* base = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        if (whyNot != nullptr) {
            *whyNot = std::string("it cannot be mapped: ") + std::strerror(errno);
        }
        return nullptr;
    }
    std::unique_ptr<MappedFile> mapped(new MappedFile(base, size));
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (gSlots[i].state.compare_exchange_strong(expected, kClaimed)) {
            gSlots[i].begin.store(reinterpret_cast<std::uintptr_t>(base));
            gSlots[i].size.store(size);
            gSlots[i].cut.store(&mapped->cut_);
            gSlots[i].state.store(kActive, std::memory_order_release);
            mapped->slot_ = i;
            return mapped;
        }
    }
    if (whyNot != nullptr) {
        *whyNot = "too many index files are open at once";
    }
    return nullptr;  // unguarded, it is not to be read
}

MappedFile::~MappedFile() {
    if (slot_ >= 0) {
        gSlots[slot_].state.store(kClaimed, std::memory_order_release);
    }
    if (base_ != nullptr) {
        ::munmap(base_, size_);
    }
    if (slot_ >= 0) {
        gSlots[slot_].state.store(kFree, std::memory_order_release);
    }
}

}  // namespace korvantis
