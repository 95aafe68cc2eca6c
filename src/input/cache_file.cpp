#include "input/cache_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace korvantis {

namespace {

bool makeFolder(const std::string& path, mode_t mode) {
    return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

void tell(std::string* whyNot, std::string text) {
    if (whyNot != nullptr) {
        *whyNot = std::move(text);
    }
}

std::string cannotUse(const std::string& folder, std::string_view reason) {
    return "the cache folder " + folder + " cannot be used: " + std::string(reason);
}

}  // namespace

std::string CacheFile::folder(std::string* whyNot, bool make) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        base = std::string(home) + "/.cache";
    } else {
        tell(whyNot, "there is no cache folder: neither XDG_CACHE_HOME nor HOME names a folder");
        return {};
    }
    const std::string folder = base + "/korvantis";
    for (const std::string* made : {static_cast<const std::string*>(&base), &folder}) {
        if (make && !makeFolder(*made, 0700)) {
            tell(whyNot, cannotUse(*made, std::strerror(errno)));
            return {};
        }
    }
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) {
        if (!make && errno == ENOENT) {
            return folder;
        }
        tell(whyNot, cannotUse(folder, std::strerror(errno)));
        return {};
    }
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        tell(whyNot, cannotUse(folder, S_ISLNK(st.st_mode)    ? "it is a symbolic link"
                                       : !S_ISDIR(st.st_mode) ? "it is not a folder"
                                                              : "it belongs to another user"));
        return {};
    }
    if (make && (st.st_mode & 077) != 0) {
        ::chmod(folder.c_str(), 0700);
    }
    return folder;
}

std::unique_ptr<CacheFile> CacheFile::create(std::string_view kind, std::string* whyNot) {
    // Left-overs of crashed instances go before this instance adds its own.
    static std::once_flag cleaned;
    std::call_once(cleaned, removeStale);
    const std::string dir = folder(whyNot);
    if (dir.empty()) {
        return nullptr;
    }
    std::string path = dir + "/" + std::string(kind) + "-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);  // owner-only
    if (fd < 0) {
        tell(whyNot,
             "no file can be made in the cache folder " + dir + ": " + std::strerror(errno));
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        tell(whyNot,
             "a file in the cache folder " + dir + " cannot be locked: " + std::strerror(errno));
        ::unlink(path.c_str());
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<CacheFile>(new CacheFile(fd, std::move(path)));
}

void CacheFile::removeStale() {
    const std::string dir = folder(nullptr, false);
    DIR* listing = dir.empty() ? nullptr : ::opendir(dir.c_str());
    if (listing == nullptr) {
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(listing);
    for (const std::string& name : names) {
        const std::string path = dir + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlink(path.c_str());  // nobody holds it: a crash left it
        }
        ::close(fd);
    }
}

CacheFile::~CacheFile() {
    ::unlink(path_.c_str());
    ::close(fd_);
}

}  // namespace korvantis
