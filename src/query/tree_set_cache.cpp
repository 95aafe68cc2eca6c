#include "query/tree_set_cache.h"

#include <vector>

namespace korvantis {

void TreeSetCache::bind(FilterQuery& query, const KindRowsSnapshot& procs) {
    const std::vector<std::int64_t> roots = query.treeRoots();
    if (roots.empty()) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (procs.size() != rows_) {
        sets_.clear();
        rows_ = procs.size();
    }
    std::vector<ProcessLink> links;
    for (const std::int64_t root : roots) {
        auto& set = sets_[root];
        if (!set) {
            if (links.empty()) {
                links = processLinks(procs);
            }
            set = std::make_shared<const PidSet>(descendantPids(root, links));
        }
        query.bindTree(root, set);
    }
}

}  // namespace korvantis
