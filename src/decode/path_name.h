#pragma once

#include <string_view>

namespace korvantis {

// The last path component: the text after the last slash once trailing
// slashes are ignored ("/usr/bin/ls" -> "ls", "/tmp/" -> "tmp", "/" -> "/",
// "launchd" -> "launchd", "" -> "").
// The result is a part of `path` (a single slash for a path of slashes).
inline std::string_view lastPathComponent(std::string_view path) {
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

}  // namespace korvantis
