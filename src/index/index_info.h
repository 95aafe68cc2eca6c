#pragma once

#include <string>

#include "index/index_cache.h"

namespace korvantis {

// What the cache holds for one log, in a line after "LOG: ": "no index
// (it would be PATH)", "index PATH, N bytes: matches the log", "... the log
// has grown since it was indexed", "... the log has changed since it was
// indexed", or "index PATH, N bytes, cannot be used: REASON". Nothing is
// made, written or removed.
struct IndexInfo {
    bool logOpened = false;  // false: `text` says why the log cannot be opened
    std::string text;
};
IndexInfo indexInfo(const IndexCache& cache, const std::string& log);

}  // namespace korvantis
