#include "input/text_source.h"

#include "input/gzip_source.h"
#include "input/raw_input.h"
#include "input/zstd_source.h"

namespace korvantis {

Compression compressionOf(std::string_view b) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
    if (b.size() >= 2 && byte(0) == 0x1f && byte(1) == 0x8b) {
        return Compression::gzip;
    }
    if (b.size() >= 4 && byte(1) == 0x2a && byte(2) == 0x4d && byte(3) == 0x18 &&
        (byte(0) & 0xf0) == 0x50) {
        return Compression::zstd;  // a skippable frame
    }
    if (b.size() >= 4 && byte(0) == 0x28 && byte(1) == 0xb5 && byte(2) == 0x2f && byte(3) == 0xfd) {
        return Compression::zstd;
    }
    return Compression::none;
}

namespace {

// A log stored as it is.
class PlainSource final : public TextSource {
  public:
    explicit PlainSource(RawInput& input) : input_(input) {}
    std::size_t read(char* into, std::size_t size) override { return input_.read(into, size); }

  private:
    RawInput& input_;
};

}  // namespace

std::unique_ptr<TextSource> TextSource::open(RawInput& input) {
    switch (compressionOf(input.peek(kCompressionMagicSize))) {
        case Compression::gzip:
            return std::make_unique<GzipSource>(input);
        case Compression::zstd:
            return std::make_unique<ZstdSource>(input);
        case Compression::none:
            break;
    }
    return std::make_unique<PlainSource>(input);
}

std::string decompressionFailureText(std::uint64_t compressedOffset) {
    return "The compressed log cannot be decoded from byte " + std::to_string(compressedOffset) +
           " of the file on (damaged, cut short, or followed by bytes that start no new "
           "member or frame); the lines before it are loaded.";
}

}  // namespace korvantis
