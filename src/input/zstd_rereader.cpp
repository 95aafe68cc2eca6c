#include "input/zstd_rereader.h"

#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "input/full_io.h"

namespace korvantis {

int zstdWindowLogMax() {
    constexpr int kLongest = 31;
    constexpr int kDefault = 27;  // what the library takes unasked
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return kDefault;
    }
    const auto quarter =
        static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 4;
    return std::clamp(static_cast<int>(std::bit_width(quarter)) - 1, kDefault, kLongest);
}

namespace {
constexpr std::size_t kWindow = std::size_t{1} << 20;
}  // namespace

ZstdRereader::ZstdRereader(int fd)
    : fd_(::fcntl(fd, F_DUPFD_CLOEXEC, 0)),
      dctx_(ZSTD_createDCtx()),
      in_(ZSTD_DStreamInSize()),
      window_(kWindow) {
    ZSTD_DCtx_setParameter(dctx_, ZSTD_d_windowLogMax, zstdWindowLogMax());
}

ZstdRereader::~ZstdRereader() {
    ZSTD_freeDCtx(dctx_);
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void ZstdRereader::restart() const {
    ZSTD_DCtx_reset(dctx_, ZSTD_reset_session_only);
    inPos_ = inSize_ = 0;
    inAt_ = 0;
    windowStart_ = 0;
    windowSize_ = 0;
    ended_ = false;
}

bool ZstdRereader::decodeMore() const {
    windowStart_ += windowSize_;
    windowSize_ = 0;
    while (windowSize_ == 0 && !ended_) {
        if (inPos_ == inSize_) {
            const ssize_t n = readFullyAt(fd_, in_.data(), in_.size(), inAt_);
            if (n <= 0) {
                ended_ = true;  // errno tells a read that failed
                break;
            }
            inAt_ += static_cast<std::uint64_t>(n);
            inPos_ = 0;
            inSize_ = static_cast<std::size_t>(n);
        }
        ZSTD_inBuffer in{in_.data(), inSize_, inPos_};
        ZSTD_outBuffer out{window_.data(), window_.size(), 0};
        const std::size_t ret = ZSTD_decompressStream(dctx_, &out, &in);
        inPos_ = in.pos;
        windowSize_ = out.pos;
        if (ZSTD_isError(ret)) {
            ended_ = true;
            errno = EIO;
        }
    }
    return windowSize_ > 0;
}

ssize_t ZstdRereader::readAt(char* into, std::size_t size, std::uint64_t offset) const {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    if (offset < windowStart_) {
        restart();
    }
    std::size_t done = 0;
    errno = 0;
    while (done < size) {
        const std::uint64_t at = offset + done;
        if (at >= windowStart_ + windowSize_) {
            if (!decodeMore()) {
                if (errno != 0) {
                    return -1;
                }
                break;
            }
            continue;
        }
        const std::size_t within = at - windowStart_;
        const std::size_t n = std::min(size - done, windowSize_ - within);
        std::memcpy(into + done, window_.data() + within, n);
        done += n;
    }
    return static_cast<ssize_t>(done);
}

}  // namespace korvantis
