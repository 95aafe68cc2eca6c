#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "index/index_draft.h"
#include "index/index_file.h"
#include "index/index_writer.h"
#include "index/log_identity.h"

namespace korvantis {

// The indexes of logs: one file per log in a folder of the user's cache,
// named by a hash of the log's real path, readable by its owner alone. A
// file in use is locked (shared while read, exclusively while written or
// removed); indexes are written beside their final name and renamed over
// it whole, so a reader never sees one change or shrink. The cache is kept
// under a size: the least recently used indexes go first, never one in use.
class IndexCache {
  public:
    // The cache's folder: $XDG_CACHE_HOME/korvantis/index, or
    // ~/.cache/korvantis/index. Made (owner-only) when `make` is true, and
    // otherwise named even when not made yet; empty when there is none or
    // it cannot be used, and then `*whyNot` says why.
    static std::string defaultFolder(bool make, std::string* whyNot = nullptr);
    // The size cap when none is set: a tenth of the free space of the disk
    // holding `folder`, at most 50 GB.
    static std::uint64_t defaultCap(const std::string& folder);
    // The real path of a log (symbolic links and dot-dots resolved);
    // nothing when it has none (standard input, a file gone).
    static std::optional<std::string> realPathOf(const std::string& log);

    // Over the folder `folder`, made when an index is first saved there.
    explicit IndexCache(std::string folder);

    const std::string& folder() const { return folder_; }
    std::string pathFor(std::string_view realPath) const;

    // What the cache holds for a log.
    struct Lookup {
        enum class State { none, unusable, found } state = State::none;
        std::string path;                 // where its index is, or would be
        std::uint64_t size = 0;           // the index file's size, when there is one
        std::string whyNot;               // why an index cannot be used
        std::unique_ptr<IndexFile> file;  // found: open, checked and locked
    };
    // The index of the log whose real path is `realPath`, checked whole and
    // known to be of that log; it counts as used now unless `use` is false.
    // `scans` go through the sections they name as the file is checked.
    Lookup find(std::string_view realPath, bool use = true,
                std::span<const NamedScan> scans = {}) const;

    // Writes the index of the log `realPath` of `identity`: `sections`
    // writes its sections. False when it cannot be written, and then
    // indexing is off for that log from now on and `*notice` says so in a
    // line ("Indexing is off for /a/b.json: its index cannot be written in
    // /home/a/.cache/korvantis/index: No space left on device").
    // `draft`: the file to write it into, from draft(); else one is made.
    bool save(std::string_view realPath, const LogIdentity& identity,
              const std::function<void(IndexWriter&)>& sections, std::string* notice = nullptr,
              IndexDraft* draft = nullptr);
    // A file for the index of `realPath` to be written into, made before a
    // load so that the load can write into it as it goes; nothing when
    // indexing is off for it or none can be made (save() then says why).
    std::unique_ptr<IndexDraft> draft(std::string_view realPath);
    bool indexingOff(std::string_view realPath) const;

    // The size the cache is trimmed to after each save (nothing: the
    // default cap).
    void setCap(std::optional<std::uint64_t> capBytes) { cap_ = capBytes; }

    // Removes the least recently used indexes not in use until what is left
    // takes at most `capBytes`; how many went. Files left half-written by
    // a writer that stopped go whatever the cap.
    std::size_t trim(std::uint64_t capBytes) const;

    // The section every index holds: the real path of its log.
    static constexpr std::string_view kLogPathSection = "log-path";

  private:
    std::string folder_;
    // The logs indexing is off for; the loads of several windows share
    // one cache, each on its own thread.
    mutable std::mutex offMutex_;
    std::set<std::string, std::less<>> off_;
    std::optional<std::uint64_t> cap_;
};

}  // namespace korvantis
