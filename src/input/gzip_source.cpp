#include "input/gzip_source.h"

#include <cstring>

#include "input/gzip_index.h"
#include "input/raw_input.h"

namespace korvantis {

namespace {
constexpr std::size_t kReadBufferSize = std::size_t{256} << 10;
constexpr std::size_t kWindowSize = std::size_t{32} << 10;
}  // namespace

GzipSource::GzipSource(RawInput& input)
    : input_(input),
      index_(std::make_shared<GzipIndex>(input.fileDescriptor())),
      buf_(kReadBufferSize) {
    ready_ = inflateInit2(&strm_, kGzipWindowBits) == Z_OK;
    strm_.next_in = buf_.data();
    strm_.avail_in = 0;
    GzipIndex::Point first;
    first.memberStart = true;
    index_->add(std::move(first));
}

GzipSource::~GzipSource() {
    if (ready_) {
        inflateEnd(&strm_);
    }
}

std::shared_ptr<const LogText> GzipSource::logText() const {
    return index_;
}

std::uint64_t GzipSource::inputOffset() const {
    return bufStart_ + static_cast<std::uint64_t>(strm_.next_in - buf_.data());
}

bool GzipSource::refill() {
    const std::size_t keep = strm_.avail_in;
    bufStart_ = inputOffset();
    std::memmove(buf_.data(), strm_.next_in, keep);
    const std::size_t n =
        input_.read(reinterpret_cast<char*>(buf_.data()) + keep, buf_.size() - keep);
    strm_.next_in = buf_.data();
    strm_.avail_in = static_cast<uInt>(keep + n);
    return n > 0;
}

void GzipSource::recordPoint(std::uint64_t out) {
    GzipIndex::Point point;
    point.out = out;
    point.in = inputOffset();
    point.bits = strm_.data_type & 7;
    point.window.resize(kWindowSize);
    uInt length = 0;
    inflateGetDictionary(&strm_, reinterpret_cast<Bytef*>(point.window.data()), &length);
    point.window.resize(length);
    point.window.shrink_to_fit();
    index_->add(std::move(point));
    lastPoint_ = out;
}

bool GzipSource::nextMember(std::uint64_t out) {
    if (strm_.avail_in < 2) {
        refill();
    }
    if (strm_.avail_in == 0) {
        return false;  // the end of the input, after a whole member
    }
    if (strm_.avail_in < 2 || strm_.next_in[0] != 0x1f || strm_.next_in[1] != 0x8b ||
        inflateReset(&strm_) != Z_OK) {
        fail(inputOffset());
        return false;
    }
    if (out - lastPoint_ >= GzipIndex::kSpacing) {
        GzipIndex::Point point;
        point.out = out;
        point.in = inputOffset();
        point.memberStart = true;
        index_->add(std::move(point));
        lastPoint_ = out;
    }
    return true;
}

std::size_t GzipSource::read(char* into, std::size_t size) {
    if (!ready_ && !ended_) {
        fail(0);
        ended_ = true;
    }
    strm_.next_out = reinterpret_cast<Bytef*>(into);
    strm_.avail_out = static_cast<uInt>(size);
    auto produced = [&] { return size - strm_.avail_out; };
    while (strm_.avail_out > 0 && !ended_) {
        if (strm_.avail_in == 0 && !refill()) {
            fail(inputOffset());  // cut short inside a member
            ended_ = true;
            break;
        }
        // Stopping at the end of each deflate block only when a point is due.
        const bool pointDue = out_ + produced() - lastPoint_ >= GzipIndex::kSpacing;
        const int ret = inflate(&strm_, pointDue ? Z_BLOCK : Z_NO_FLUSH);
        if (ret == Z_STREAM_END) {
            ended_ = !nextMember(out_ + produced());
        } else if (ret == Z_OK || ret == Z_BUF_ERROR) {
            if (pointDue && (strm_.data_type & 128) != 0 && (strm_.data_type & 64) == 0) {
                recordPoint(out_ + produced());
            }
        } else {
            fail(inputOffset());
            ended_ = true;
        }
    }
    out_ += produced();
    return produced();
}

}  // namespace korvantis
