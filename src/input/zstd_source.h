#pragma once

#include <zstd.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "input/text_source.h"

namespace korvantis {

class ZstdBlockCopy;

// The text of a zstd log: every frame in turn, skippable frames skipped,
// decompressed as it is read and copied on the way into a block copy to read
// it again from.
class ZstdSource final : public TextSource {
  public:
    explicit ZstdSource(RawInput& input);
    ~ZstdSource() override;
    ZstdSource(const ZstdSource&) = delete;
    ZstdSource& operator=(const ZstdSource&) = delete;

    std::size_t read(char* into, std::size_t size) override;
    std::shared_ptr<const LogText> logText() const override;
    // Why the block copy could not be kept, when it could not.
    std::string notice() const override;

  private:
    bool refill();
    std::uint64_t inputOffset() const { return bufStart_ + in_.pos; }

    RawInput& input_;
    ZSTD_DCtx* dctx_;
    std::vector<char> buf_;
    ZSTD_inBuffer in_{};
    std::uint64_t bufStart_ = 0;  // offset of buf_[0] in the compressed bytes
    std::uint64_t frameEnd_ = 0;  // where the last whole frame ended
    bool inFrame_ = false;        // a frame has begun and not ended
    bool ended_ = false;
    std::shared_ptr<ZstdBlockCopy> copy_;
};

}  // namespace korvantis
