#include "load/open_failure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvantis {

std::string openFailureReason(const std::string& path) {
    // O_NONBLOCK: a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::strerror(errno);
    }
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    const int error = errno;
    ::close(fd);
    if (!statted) {
        return std::strerror(error);
    }
    if (S_ISDIR(st.st_mode)) {
        return std::strerror(EISDIR);
    }
    if (!S_ISREG(st.st_mode)) {
        return "Not a regular file";
    }
    // It opens now; it did not when the load tried.
    return "It could not be read";
}

std::string openFailureText(const std::string& path) {
    std::string name = path;
    while (name.size() > 1 && name.back() == '/') {
        name.pop_back();
    }
    const std::size_t slash = name.rfind('/');
    if (slash != std::string::npos && name.size() > 1) {
        name = name.substr(slash + 1);
    }
    return "Could not open " + name + ": " + openFailureReason(path);
}

}  // namespace korvantis
