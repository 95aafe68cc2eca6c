#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvantis {

// The bytes of a log as they are on disk (or come down a pipe), read in
// order, with a count of those taken so far. The first bytes can be looked
// at before they are taken. Does not own the descriptors.
class RawInput {
  public:
    explicit RawInput(int fd) : fd_(fd) {}

    // Bytes from a pipe: each is also written to `spoolFd` (the file at
    // `spoolPath`), where it can be read again, and waiting for more ends
    // (as at the end of the input) once `*stop` is set. Bytes that cannot
    // be written there end the input: see spoolFailure().
    void spoolTo(int spoolFd, std::string spoolPath, const std::atomic<bool>* stop);
    // Why the spool could not be written ("the spool file PATH could not be
    // written: No space left on device"); empty while it could.
    const std::string& spoolFailure() const { return spoolFailure_; }

    // Reads from `offset` on with positioned reads, leaving the descriptor's
    // own position alone (it may be shared).
    void startAt(std::uint64_t offset) { at_ = offset; }
    // Positioned reads end at `offset` as at the end of the file.
    void endAt(std::uint64_t offset) { endAt_ = offset; }
    // Drops the bytes read from the page cache behind the reader, for a
    // file too large to stay cached anyway: filling the cache with it only
    // makes the kernel reclaim pages for every page the load then needs
    // (a third more system time on a log as large as the memory). Read
    // again, such bytes come from the disk.
    void dropBehind() { dropBehind_ = true; }

    // Up to `size` bytes; 0 at the end of the input (or on a read error).
    std::size_t read(char* into, std::size_t size);
    // The first `size` bytes not yet taken (fewer near the end); read()
    // still returns them.
    std::string_view peek(std::size_t size);
    // Bytes taken by read() so far: the offset of the next one.
    std::uint64_t taken() const { return taken_.load(std::memory_order_relaxed); }
    // Where the bytes taken can be read again at any offset.
    int fileDescriptor() const { return spoolFd_ >= 0 ? spoolFd_ : fd_; }

  private:
    std::size_t readFile(char* into, std::size_t size);
    // Waits until the pipe has bytes or has ended; false once stopped.
    bool waitForBytes();
    bool spool(const char* bytes, std::size_t size);
    // Called after each read, which ended at `end` in the file.
    void dropRead(std::uint64_t end);

    int fd_;
    int spoolFd_ = -1;
    std::string spoolPath_;
    std::string spoolFailure_;
    std::int64_t at_ = -1;  // where startAt() reads next; -1: plain reads
    std::uint64_t endAt_ = UINT64_MAX;
    std::uint64_t plainAt_ = 0;  // where plain reads have come to
    bool dropBehind_ = false;
    std::uint64_t droppedTo_ = 0;  // the bytes before it were dropped
    const std::atomic<bool>* stop_ = nullptr;
    std::string peeked_;
    std::atomic<std::uint64_t> taken_{0};
};

}  // namespace korvantis
