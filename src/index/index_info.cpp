#include "index/index_info.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvantis {

IndexInfo indexInfo(const IndexCache& cache, const std::string& log) {
    const int fd = log == "-" ? -1 : ::open(log.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (log == "-") {
        return {true, "standard input has no index"};
    }
    if (fd < 0) {
        return {false, std::strerror(errno)};
    }
    const auto realPath = IndexCache::realPathOf(log);
    if (!realPath) {
        ::close(fd);
        return {true, "no index (its real path cannot be told)"};
    }
    const IndexCache::Lookup lookup = cache.find(*realPath, false);
    std::string text;
    const std::string where =
        "index " + lookup.path + ", " + std::to_string(lookup.size) + " bytes";
    switch (lookup.state) {
        case IndexCache::Lookup::State::none:
            text = "no index (it would be " + lookup.path + ")";
            break;
        case IndexCache::Lookup::State::unusable:
            text = where + ", cannot be used: " + lookup.whyNot;
            break;
        case IndexCache::Lookup::State::found:
            switch (matchLog(lookup.file->identity(), fd)) {
                case IdentityMatch::same:
                    text = where + ": matches the log";
                    break;
                case IdentityMatch::grown:
                    text = where + ": the log has grown since it was indexed";
                    break;
                case IdentityMatch::changed:
                    text = where + ": the log has changed since it was indexed";
                    break;
            }
            break;
    }
    ::close(fd);
    return {true, text};
}

}  // namespace korvantis
