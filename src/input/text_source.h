#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvantis {

class LogText;
class RawInput;

// How a log's bytes are stored, told by their first bytes whatever the
// file's name.
enum class Compression { none, gzip, zstd };
Compression compressionOf(std::string_view firstBytes);
// How many first bytes compressionOf() looks at.
inline constexpr std::size_t kCompressionMagicSize = 4;

// The text of a log, plain or decompressed from its bytes, in order.
class TextSource {
  public:
    virtual ~TextSource() = default;
    // Up to `size` bytes of text; 0 only at the end of the text, or when it
    // cannot be decoded further (failedAt() then says where).
    virtual std::size_t read(char* into, std::size_t size) = 0;
    // The offset in the compressed bytes where decoding failed: damaged
    // data, data cut short, or bytes after the last member or frame that
    // start no new one.
    std::optional<std::uint64_t> failedAt() const { return failedAt_; }
    // Why, when the reason is known better than damaged data: the load
    // error to give instead of decompressionFailureText().
    const std::string& failureText() const { return failureText_; }
    // Where the text can be read again at any offset; nothing for a plain
    // log, which is read again from its own file.
    virtual std::shared_ptr<const LogText> logText() const { return nullptr; }
    // Something the load should tell about how the text is kept, once its
    // end is read (a copy that could not be written); empty when nothing.
    virtual std::string notice() const { return {}; }

    // Reads `input` (which must outlive it) as its first bytes say: as it
    // is, or decompressed. The descriptor of `input` must be that of a file
    // that can be read at any offset when it is compressed.
    static std::unique_ptr<TextSource> open(RawInput& input);

  protected:
    void fail(std::uint64_t at) { failedAt_ = at; }
    void failWith(std::string text, std::uint64_t at) {
        failureText_ = std::move(text);
        failedAt_ = at;
    }

  private:
    std::optional<std::uint64_t> failedAt_;
    std::string failureText_;
};

// The load error that ends the load of a log that cannot be decompressed
// further.
std::string decompressionFailureText(std::uint64_t compressedOffset);

}  // namespace korvantis
