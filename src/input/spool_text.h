#pragma once

#include <memory>

#include "input/log_text.h"

namespace korvantis {

class CacheFile;

// The text of a log that came down a pipe: the spool file its bytes were
// written to as they came (decompressed through `decompressed` when they are
// compressed). Owns the spool, which goes when the text does.
class SpoolText final : public LogText {
  public:
    SpoolText(std::unique_ptr<CacheFile> spool, std::shared_ptr<const LogText> decompressed);
    ~SpoolText() override;

    ssize_t readAt(char* into, std::size_t size, std::uint64_t offset) const override;
    const CacheFile& spool() const { return *spool_; }

  private:
    std::unique_ptr<CacheFile> spool_;
    std::shared_ptr<const LogText> decompressed_;
};

}  // namespace korvantis
