#include "index/index_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "input/cache_file.h"
#include "store/line_ref.h"

namespace korvantis {

namespace {

constexpr std::string_view kIndexSuffix = ".index";
constexpr std::string_view kPartialMark = IndexDraft::kMark;
constexpr std::uint64_t kMaxCap = 50'000'000'000ull;

void tell(std::string* whyNot, std::string text) {
    if (whyNot != nullptr) {
        *whyNot = std::move(text);
    }
}

}  // namespace

std::string IndexCache::defaultFolder(bool make, std::string* whyNot) {
    const std::string base = CacheFile::folder(whyNot, make);
    if (base.empty()) {
        return {};
    }
    const std::string folder = base + "/index";
    if (make && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        tell(whyNot, "the index folder " + folder + " cannot be made: " + std::strerror(errno));
        return {};
    }
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) {
        if (!make && errno == ENOENT) {
            return folder;  // where it will be
        }
        tell(whyNot, "the index folder " + folder + " cannot be used: " + std::strerror(errno));
        return {};
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        tell(whyNot,
             "the index folder " + folder + " cannot be used: " +
                 (S_ISDIR(st.st_mode) ? "it belongs to another user" : "it is not a folder"));
        return {};
    }
    return folder;
}

std::uint64_t IndexCache::defaultCap(const std::string& folder) {
    struct statvfs fs;
    if (::statvfs(folder.c_str(), &fs) != 0) {
        return 0;
    }
    const std::uint64_t free = std::uint64_t{fs.f_bavail} * fs.f_frsize;
    return std::min(free / 10, kMaxCap);
}

std::optional<std::string> IndexCache::realPathOf(const std::string& log) {
    if (log == "-") {
        return std::nullopt;
    }
    char* resolved = ::realpath(log.c_str(), nullptr);
    if (resolved == nullptr) {
        return std::nullopt;
    }
    std::string path(resolved);
    std::free(resolved);
    return path;
}

IndexCache::IndexCache(std::string folder) : folder_(std::move(folder)) {}

std::string IndexCache::pathFor(std::string_view realPath) const {
    char name[17];
    std::snprintf(name, sizeof name, "%016llx",
                  static_cast<unsigned long long>(lineChecksum(realPath)));
    return folder_ + "/" + name + std::string(kIndexSuffix);
}

IndexCache::Lookup IndexCache::find(std::string_view realPath, bool use,
                                    std::span<const NamedScan> scans) const {
    Lookup lookup;
    lookup.path = pathFor(realPath);
    bool absent = false;
    lookup.file = IndexFile::open(lookup.path, &lookup.whyNot, &absent, scans);
    if (!lookup.file) {
        lookup.state = absent ? Lookup::State::none : Lookup::State::unusable;
        struct stat st;
        if (!absent && ::stat(lookup.path.c_str(), &st) == 0) {
            lookup.size = static_cast<std::uint64_t>(st.st_size);
        }
        return lookup;
    }
    lookup.size = lookup.file->size();
    // Two real paths of one hash: the index is another log's.
    if (lookup.file->section(kLogPathSection) != realPath) {
        lookup.whyNot = "it is the index of another log";
        lookup.file.reset();
        lookup.state = Lookup::State::unusable;
        return lookup;
    }
    // Used now: the trimming goes by the time of last use.
    if (use) {
        const struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_OMIT}};
        ::futimens(lookup.file->fileDescriptor(), times);
    }
    lookup.state = Lookup::State::found;
    return lookup;
}

bool IndexCache::indexingOff(std::string_view realPath) const {
    const std::lock_guard lock(offMutex_);
    return off_.find(realPath) != off_.end();
}

bool IndexCache::save(std::string_view realPath, const LogIdentity& identity,
                      const std::function<void(IndexWriter&)>& sections, std::string* notice,
                      IndexDraft* draft) {
    auto failed = [&](const std::string& why) {
        {
            const std::lock_guard lock(offMutex_);
            off_.emplace(realPath);
        }
        tell(notice, "Indexing is off for " + std::string(realPath) +
                         ": its index cannot be written in " + folder_ + ": " + why);
        return false;
    };
    if (indexingOff(realPath)) {
        return failed("it could not be written before");
    }
    if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) {
        return failed(std::strerror(errno));
    }
    std::unique_ptr<IndexDraft> made;
    if (!draft) {
        made = IndexDraft::make(pathFor(realPath));
        if (!made) {
            return failed(std::strerror(errno));
        }
        draft = made.get();
    }
    IndexWriter writer(draft->fd());
    // The log's path after the other sections: a draft may hold the first
    // of them in place already.
    sections(writer);
    writer.beginSection(kLogPathSection);
    writer.append(realPath);
    writer.endSection();
    std::string why;
    if (!writer.finish(identity, &why) || !draft->putInPlace()) {
        if (why.empty()) {
            why = std::strerror(errno);
        }
        return failed(why);
    }
    // Trimmed while the new index is still locked: it is never the one to go.
    trim(cap_ ? *cap_ : defaultCap(folder_));
    return true;
}

std::unique_ptr<IndexDraft> IndexCache::draft(std::string_view realPath) {
    if (indexingOff(realPath) || (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST)) {
        return nullptr;
    }
    return IndexDraft::make(pathFor(realPath));
}

std::size_t IndexCache::trim(std::uint64_t capBytes) const {
    DIR* listing = ::opendir(folder_.c_str());
    if (listing == nullptr) {
        return 0;
    }
    struct Held {
        std::string path;
        std::uint64_t size;
        struct timespec used;
        bool partial;
    };
    std::vector<Held> files;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        const bool partial = name.find(kPartialMark) != std::string_view::npos;
        if (!partial && !name.ends_with(kIndexSuffix)) {
            continue;  // not the cache's
        }
        const std::string path = folder_ + "/" + std::string(name);
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            files.push_back({path, static_cast<std::uint64_t>(st.st_size), st.st_atim, partial});
        }
    }
    ::closedir(listing);
    std::sort(files.begin(), files.end(), [](const Held& a, const Held& b) {
        return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec
                                              : a.used.tv_nsec < b.used.tv_nsec;
    });
    std::uint64_t total = 0;
    for (const Held& file : files) {
        total += file.size;
    }
    std::size_t removed = 0;
    for (const Held& file : files) {
        if (total <= capBytes && !file.partial) {
            continue;
        }
        const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        // A lock held is a file in use, or one being written.
        struct stat opened;
        struct stat named;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            ::lstat(file.path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
            ::unlink(file.path.c_str()) == 0) {
            total -= file.size;
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}

}  // namespace korvantis
