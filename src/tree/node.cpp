#include "tree/node.h"

#include <utility>

namespace korvantis {

Node::Node(std::string path, std::int64_t pid, std::int64_t ppid)
    : pid(pid), ppid(ppid), ownPath_(std::make_unique<const std::string>(std::move(path))) {
    this->path = *ownPath_;
    name = lastPathComponent(this->path);
}

Node::Node(BorrowPath, std::string_view path, std::int64_t pid, std::int64_t ppid)
    : path(path), name(lastPathComponent(path)), pid(pid), ppid(ppid) {}

}  // namespace korvantis
