#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "query/filter_query.h"
#include "query/rows_snapshot.h"

namespace korvantis {

// The process sets of `tree:` terms, made once per root for as long as the
// process rows stay the same, and shared by the workers that filter the two
// lists (and by every keystroke after `tree:N`). Safe to use from any thread.
class TreeSetCache {
  public:
    // Gives every tree term of `query` the set of its root over `procs`.
    void bind(FilterQuery& query, const KindRowsSnapshot& procs);

  private:
    std::mutex mutex_;
    std::size_t rows_ = 0;  // process rows the sets were made from
    std::map<std::int64_t, std::shared_ptr<const PidSet>> sets_;
};

}  // namespace korvantis
