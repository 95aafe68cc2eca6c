#pragma once

#include <cstdint>
#include <string_view>

namespace korvantis {

// Goes through one section's bytes, in order, as the index's check reads
// them for their checksum: what a reader must go through whole anyway is
// gone through while the bytes are in the processor's cache, not read a
// second time through the mapping. What it makes of them is used only once
// the file's check has passed.
class SectionScan {
  public:
    virtual ~SectionScan() = default;
    // The section is `length` bytes long; its bytes follow in add().
    virtual void begin(std::uint64_t length) = 0;
    // The section's next bytes, in pieces of any size.
    virtual void add(std::string_view bytes) = 0;
};

// A scan and the section it goes through.
struct NamedScan {
    std::string_view section;
    SectionScan* scan;
};

}  // namespace korvantis
