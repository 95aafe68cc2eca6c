#include "input/gzip_index.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvantis {

namespace {

constexpr int kRawWindowBits = -15;  // deflate data alone
constexpr std::size_t kCursorInputSize = std::size_t{64} << 10;

ssize_t readFileAt(int fd, unsigned char* into, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

}  // namespace

// An inflate standing somewhere in the text, going on through later members.
class GzipIndex::Cursor {
  public:
    explicit Cursor(int fd) : fd_(fd), input_(kCursorInputSize) {}
    ~Cursor() {
        if (ready_) {
            inflateEnd(&strm_);
        }
    }
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    bool start(const Point& p) {
        const int bits = p.memberStart ? kGzipWindowBits : kRawWindowBits;
        if (!ready_) {
            if (inflateInit2(&strm_, bits) != Z_OK) {
                return false;
            }
            ready_ = true;
        } else if (inflateReset2(&strm_, bits) != Z_OK) {
            return false;
        }
        raw_ = !p.memberStart;
        strm_.avail_in = 0;
        in_ = p.in;
        out_ = p.out;
        ended_ = false;
        if (p.memberStart) {
            return true;
        }
        if (p.bits != 0) {
            unsigned char byte = 0;
            if (readFileAt(fd_, &byte, 1, p.in - 1) != 1) {
                return false;
            }
            inflatePrime(&strm_, p.bits, byte >> (8 - p.bits));
        }
        return p.window.empty() ||
               inflateSetDictionary(&strm_, reinterpret_cast<const Bytef*>(p.window.data()),
                                    static_cast<uInt>(p.window.size())) == Z_OK;
    }

    // Up to `size` bytes of text; 0 at its end, or where it cannot be read.
    std::size_t produce(unsigned char* into, std::size_t size) {
        strm_.next_out = into;
        strm_.avail_out = static_cast<uInt>(size);
        while (strm_.avail_out > 0 && !ended_) {
            if (strm_.avail_in == 0 && !refill()) {
                ended_ = true;
                break;
            }
            const int ret = inflate(&strm_, Z_NO_FLUSH);
            if (ret == Z_STREAM_END) {
                ended_ = !nextMember();
            } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
                ended_ = true;
            }
        }
        const std::size_t n = size - strm_.avail_out;
        out_ += n;
        return n;
    }

    std::uint64_t out() const { return out_; }
    bool ended() const { return ended_; }

  private:
    bool refill() {
        const ssize_t n = readFileAt(fd_, input_.data(), input_.size(), in_);
        if (n <= 0) {
            return false;
        }
        in_ += static_cast<std::uint64_t>(n);
        strm_.next_in = input_.data();
        strm_.avail_in = static_cast<uInt>(n);
        return true;
    }

    // After the end of a member's deflate data: skips its trailer (when
    // inflating raw data) and starts the next member, if one follows.
    bool nextMember() {
        for (std::size_t skip = raw_ ? 8 : 0; skip > 0;) {
            if (strm_.avail_in == 0 && !refill()) {
                return false;
            }
            const std::size_t k = std::min<std::size_t>(skip, strm_.avail_in);
            strm_.next_in += k;
            strm_.avail_in -= static_cast<uInt>(k);
            skip -= k;
        }
        if (strm_.avail_in == 0 && !refill()) {
            return false;
        }
        raw_ = false;
        return strm_.next_in[0] == 0x1f && inflateReset2(&strm_, kGzipWindowBits) == Z_OK;
    }

    int fd_;
    z_stream strm_{};
    bool ready_ = false;
    bool raw_ = false;
    bool ended_ = true;
    std::uint64_t in_ = 0;   // of the next byte to read into input_
    std::uint64_t out_ = 0;  // of the next byte of text
    std::vector<unsigned char> input_;
};

GzipIndex::GzipIndex(int fd) : fd_(::fcntl(fd, F_DUPFD_CLOEXEC, 0)) {}

GzipIndex::~GzipIndex() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void GzipIndex::add(Point point) {
    std::lock_guard lock(mutex_);
    memoryBytes_ += sizeof(Point) + point.window.capacity();
    points_.push_back(std::move(point));
}

std::size_t GzipIndex::pointCount() const {
    std::lock_guard lock(mutex_);
    return points_.size();
}

std::size_t GzipIndex::memoryBytes() const {
    std::lock_guard lock(mutex_);
    return memoryBytes_;
}

ssize_t GzipIndex::readAt(char* into, std::size_t size, std::uint64_t offset) const {
    std::lock_guard lock(mutex_);
    const auto after = std::upper_bound(points_.begin(), points_.end(), offset,
                                        [](std::uint64_t o, const Point& p) { return o < p.out; });
    if (fd_ < 0 || after == points_.begin()) {
        return -1;
    }
    const Point& point = *(after - 1);
    if (!cursor_) {
        cursor_ = std::make_unique<Cursor>(fd_);
    }
    const bool goOn = !cursor_->ended() && cursor_->out() <= offset && cursor_->out() >= point.out;
    if (!goOn && !cursor_->start(point)) {
        return -1;
    }
    unsigned char skipped[16384];
    while (cursor_->out() < offset) {
        const std::size_t want = std::min<std::uint64_t>(sizeof skipped, offset - cursor_->out());
        if (cursor_->produce(skipped, want) == 0) {
            return 0;
        }
    }
    std::size_t done = 0;
    while (done < size) {
        const std::size_t n =
            cursor_->produce(reinterpret_cast<unsigned char*>(into) + done, size - done);
        if (n == 0) {
            break;
        }
        done += n;
    }
    return static_cast<ssize_t>(done);
}

}  // namespace korvantis
