#include "output/file_replacement.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

namespace korvantis {

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links ends at (not the links' folders: those
// are the folders the user chose); `path` itself when it is no link. A link
// that names nothing yet gives the name it would create.
std::string linkedFile(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
        if (n <= 0) {
            return path;
        }
        std::string next(buf, static_cast<std::size_t>(n));
        path = next.front() == '/' ? next : folderOf(path) + "/" + next;
    }
    return path;
}

// Creates a new file of a name no one else uses, beside `target`. Returns its
// descriptor (or -1, errno set) and its name.
int createTemporaryBeside(const std::string& target, std::string& name) {
    static std::atomic<std::uint64_t> counter{0};
    std::random_device entropy;
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "." + base + ".part-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++) + "-" + std::to_string(entropy());
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Gives the new file the mode and, where allowed, the owner of the file it
// replaces. The owner first: a change of owner may clear set-id bits.
void keepAttributes(int fd, const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        [[maybe_unused]] const int groupOnly = ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    }
    ::fchmod(fd, st.st_mode & 07777);
}

// A FIFO, a device or a socket is written into, never replaced by a
// regular file. Opened without waiting: a FIFO nobody reads is refused
// (ENXIO) instead of holding the writer forever.
std::string writeInto(const std::string& target, const std::string& file, const FileWriter& write) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return writeFailure(target, errno);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    std::string error = write(fd);
    if (::close(fd) != 0 && error.empty()) {
        error = writeFailure(target, errno);
    }
    return error;
}

}  // namespace

std::string writeFailure(const std::string& name, int error) {
    return "Could not write \"" + name + "\": " + std::strerror(error);
}

std::string replaceFile(const std::string& target, const FileWriter& write) {
    const std::string file = linkedFile(target);
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return writeInto(target, file, write);
    }
    std::string temporary;
    const int fd = createTemporaryBeside(file, temporary);
    if (fd < 0) {
        return writeFailure(target, errno);
    }
    keepAttributes(fd, file);
    std::string error = write(fd);
    // Whatever failed first is the reason given.
    if (error.empty() && ::fsync(fd) != 0) {
        error = writeFailure(target, errno);
    }
    if (::close(fd) != 0 && error.empty()) {
        error = writeFailure(target, errno);
    }
    if (error.empty() && ::rename(temporary.c_str(), file.c_str()) != 0) {
        error = writeFailure(target, errno);
    }
    if (!error.empty()) {
        ::unlink(temporary.c_str());
        return error;
    }
    // Make the new name itself last across a crash; a folder that cannot be
    // synced still holds the finished file.
    const int folder = ::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

}  // namespace korvantis
