#include "tree/node.h"

#include <utility>

namespace korvantis {

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
