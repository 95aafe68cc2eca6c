#pragma once

#include <memory>
#include <string>

namespace korvantis {

// An index file being written beside its final name: made before its
// sections are known, so that a load can put its largest section in place
// as it goes instead of copying it in at the end. Locked while it lives,
// so that the cache's trimming passes it by; removed unless it was put in
// place.
class IndexDraft {
  public:
    // A new draft for the index at `finalPath` (its folder must exist);
    // nothing when it cannot be made, and then errno says why.
    static std::unique_ptr<IndexDraft> make(const std::string& finalPath);
    ~IndexDraft();
    IndexDraft(const IndexDraft&) = delete;
    IndexDraft& operator=(const IndexDraft&) = delete;

    int fd() const { return fd_; }
    // Renamed over the final name; false (errno set) when it could not be.
    bool putInPlace();

    // What a draft's name holds after its final name.
    static constexpr const char* kMark = ".partial-";

  private:
    IndexDraft(int fd, std::string path, std::string finalPath);
    int fd_;
    std::string path_;
    std::string finalPath_;
    bool inPlace_ = false;
};

}  // namespace korvantis
