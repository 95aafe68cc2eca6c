#include "store/node.h"

#include <utility>

namespace korvantis {

std::string lastPathComponent(std::string_view path) {
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') {
        --end;
    }
    if (end == 0) {
        // "" stays empty; a path of slashes only names the root.
        return path.empty() ? std::string() : std::string("/");
    }
    const std::size_t slash = path.rfind('/', end - 1);
    const std::size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
    return std::string(path.substr(begin, end - begin));
}

Node::Node(Uuid uid, std::string path, std::int64_t pid, std::int64_t ppid)
    : uid(uid), path(std::move(path)), pid(pid), ppid(ppid) {
    name = lastPathComponent(this->path);
}

}  // namespace korvantis
