#include "store/node.h"

#include <utility>

namespace korvantis {

std::string_view lastPathComponent(std::string_view path) {
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') {
        --end;
    }
    if (end == 0) {
        // "" stays empty; a path of slashes only names the root.
        return path.substr(0, path.empty() ? 0 : 1);
    }
    const std::size_t slash = path.rfind('/', end - 1);
    const std::size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
    return path.substr(begin, end - begin);
}

Node::Node(Uuid uid, std::string path, std::int64_t pid, std::int64_t ppid)
    : uid(uid),
      pid(pid),
      ppid(ppid),
      ownPath_(std::make_unique<const std::string>(std::move(path))) {
    this->path = *ownPath_;
    name = lastPathComponent(this->path);
}

Node::Node(BorrowPath, Uuid uid, std::string_view path, std::int64_t pid, std::int64_t ppid)
    : uid(uid), path(path), name(lastPathComponent(path)), pid(pid), ppid(ppid) {}

}  // namespace korvantis
