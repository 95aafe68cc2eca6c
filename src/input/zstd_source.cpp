#include "input/zstd_source.h"

#include <zstd_errors.h>

#include <string>

#include "input/raw_input.h"
#include "input/zstd_block_copy.h"
#include "input/zstd_rereader.h"

namespace korvantis {

namespace {

// The window the zstd frame starting at `header` declares, from its header;
// 0 when the bytes do not hold a whole frame header.
std::uint64_t declaredWindow(const unsigned char* header, std::size_t size) {
    if (size < 6) {
        return 0;
    }
    const unsigned descriptor = header[4];
    if ((descriptor & 0x20) == 0) {  // a window descriptor follows
        const unsigned exponent = header[5] >> 3;
        const unsigned mantissa = header[5] & 7;
        const std::uint64_t base = std::uint64_t{1} << (10 + exponent);
        return base + base / 8 * mantissa;
    }
    // A single segment: the window is the content's size.
    static constexpr std::size_t kDictionaryBytes[] = {0, 1, 2, 4};
    static constexpr std::size_t kSizeBytes[] = {1, 2, 4, 8};
    const std::size_t at = 5 + kDictionaryBytes[descriptor & 3];
    const std::size_t bytes = kSizeBytes[descriptor >> 6];
    if (size < at + bytes) {
        return 0;
    }
    std::uint64_t content = 0;
    for (std::size_t b = 0; b < bytes; ++b) {
        content |= std::uint64_t{header[at + b]} << (8 * b);
    }
    return bytes == 2 ? content + 256 : content;
}

std::string mebibytes(std::uint64_t bytes) {
    return std::to_string((bytes + (std::uint64_t{1} << 20) - 1) >> 20) + " MiB";
}

}  // namespace

ZstdSource::ZstdSource(RawInput& input)
    : input_(input),
      dctx_(ZSTD_createDCtx()),
      buf_(ZSTD_DStreamInSize()),
      copy_(ZstdBlockCopy::create(input.fileDescriptor())) {
    in_.src = buf_.data();
    ZSTD_DCtx_setParameter(dctx_, ZSTD_d_windowLogMax, zstdWindowLogMax());
}

ZstdSource::~ZstdSource() {
    ZSTD_freeDCtx(dctx_);
}

std::shared_ptr<const LogText> ZstdSource::logText() const {
    return copy_;
}

std::string ZstdSource::notice() const {
    return copy_->failure();
}

bool ZstdSource::refill() {
    bufStart_ += in_.size;
    in_.pos = 0;
    in_.size = input_.read(buf_.data(), buf_.size());
    return in_.size > 0;
}

std::size_t ZstdSource::read(char* into, std::size_t size) {
    ZSTD_outBuffer out{into, size, 0};
    while (out.pos < out.size && !ended_) {
        const bool atInputEnd = in_.pos == in_.size && !refill();
        const std::size_t before = out.pos;
        const std::size_t taken = in_.pos;
        const std::size_t ret = ZSTD_decompressStream(dctx_, &out, &in_);
        if (ZSTD_isError(ret)) {
            if (ZSTD_getErrorCode(ret) == ZSTD_error_frameParameter_windowTooLarge) {
                const std::uint64_t window = declaredWindow(
                    static_cast<const unsigned char*>(in_.src) + taken, in_.size - taken);
                failWith("The compressed log needs a window of " +
                             (window != 0 ? mebibytes(window) : std::string("more memory")) +
                             " to be decoded, more than the " +
                             mebibytes(std::uint64_t{1} << zstdWindowLogMax()) +
                             " allowed here; it cannot be decoded from byte " +
                             std::to_string(frameEnd_) +
                             " of the file on, the lines before it are loaded.",
                         frameEnd_);
            } else {
                // Bytes that start no frame fail where the last frame ended.
                fail(inFrame_ ? inputOffset() : frameEnd_);
            }
            ended_ = true;
        } else if (out.pos == before && in_.pos == taken && atInputEnd) {
            if (inFrame_) {
                fail(inputOffset());  // cut short
            }
            ended_ = true;
        } else if (in_.pos != taken || out.pos != before) {
            inFrame_ = ret != 0;
            if (!inFrame_) {
                frameEnd_ = inputOffset();
            }
        }
    }
    copy_->append(into, out.pos);
    if (ended_) {
        copy_->finishWriting();  // a copy that fails to the end is told with the load
    }
    return out.pos;
}

}  // namespace korvantis
