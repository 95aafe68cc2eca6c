#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace korvantis {

// A file of this program's own in the user's cache folder
// ($XDG_CACHE_HOME/korvantis, or ~/.cache/korvantis), readable by its owner
// alone, held with an advisory lock while it is in use and removed when it
// is no longer. One left by a crash is removed by the next start.
class CacheFile {
  public:
    // The folder, made if need be (owner-only) unless `make` is false (a
    // folder not made yet is then named all the same); empty when there is
    // none, and then `*whyNot` (when given) says why, naming the folder:
    // "the cache folder /home/a/.cache/korvantis cannot be used: it is a
    // symbolic link".
    static std::string folder(std::string* whyNot = nullptr, bool make = true);
    // A new empty file whose name starts with `kind`; nothing when it cannot
    // be made, and then `*whyNot` (when given) says why.
    static std::unique_ptr<CacheFile> create(std::string_view kind, std::string* whyNot = nullptr);
    // Removes the files of the folder whose lock can be taken: no running
    // instance holds them. A folder not yet made is left unmade.
    static void removeStale();

    ~CacheFile();
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;

    int fileDescriptor() const { return fd_; }
    const std::string& path() const { return path_; }

  private:
    CacheFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

}  // namespace korvantis
