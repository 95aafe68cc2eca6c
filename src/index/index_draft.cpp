#include "index/index_draft.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace korvantis {

std::unique_ptr<IndexDraft> IndexDraft::make(const std::string& finalPath) {
    std::string path = finalPath + kMark + "XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);  // owner-only
    if (fd < 0) {
        return nullptr;
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    return std::unique_ptr<IndexDraft>(new IndexDraft(fd, std::move(path), finalPath));
}

IndexDraft::IndexDraft(int fd, std::string path, std::string finalPath)
    : fd_(fd), path_(std::move(path)), finalPath_(std::move(finalPath)) {}

IndexDraft::~IndexDraft() {
    if (!inPlace_) {
        ::unlink(path_.c_str());
    }
    ::close(fd_);
}

bool IndexDraft::putInPlace() {
    inPlace_ = ::rename(path_.c_str(), finalPath_.c_str()) == 0;
    return inPlace_;
}

}  // namespace korvantis
