#include "ingest/zstd_source.h"

#include "ingest/raw_input.h"
#include "ingest/zstd_block_copy.h"

namespace korvantis {

ZstdSource::ZstdSource(RawInput& input)
    : input_(input),
      dctx_(ZSTD_createDCtx()),
      buf_(ZSTD_DStreamInSize()),
      copy_(ZstdBlockCopy::create()) {
    in_.src = buf_.data();
}

ZstdSource::~ZstdSource() {
    ZSTD_freeDCtx(dctx_);
}

std::shared_ptr<const LogText> ZstdSource::logText() const {
    return copy_;
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
            // Bytes that start no frame fail where the last frame ended.
            fail(inFrame_ ? inputOffset() : frameEnd_);
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
    if (copy_) {
        copy_->append(into, out.pos);
    }
    return out.pos;
}

}  // namespace korvantis
