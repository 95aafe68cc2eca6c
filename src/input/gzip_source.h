#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "input/text_source.h"

namespace korvantis {

class GzipIndex;

// The text of a gzip log: every member in turn, inflated as it is read,
// with the points to read it again from recorded on the way.
class GzipSource final : public TextSource {
  public:
    explicit GzipSource(RawInput& input);
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    std::size_t read(char* into, std::size_t size) override;
    std::shared_ptr<const LogText> logText() const override;

  private:
    // Offset in the compressed bytes of the next one inflate takes.
    std::uint64_t inputOffset() const;
    // Reads more compressed bytes after those not yet taken; false at the end.
    bool refill();
    // After a member: true when another one starts there; false at the end
    // of the input or when other bytes follow (then failed).
    bool nextMember(std::uint64_t out);
    void recordPoint(std::uint64_t out);

    RawInput& input_;
    std::shared_ptr<GzipIndex> index_;
    z_stream strm_{};
    bool ready_ = false;
    bool ended_ = false;
    std::vector<unsigned char> buf_;
    std::uint64_t bufStart_ = 0;  // offset of buf_[0] in the compressed bytes
    std::uint64_t out_ = 0;       // text produced so far
    std::uint64_t lastPoint_ = 0;
};

}  // namespace korvantis
