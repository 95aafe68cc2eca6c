#include "store/line_ref_table.h"

namespace korvantis {

std::optional<LinePlace> LineRefTable::indexOf(const Uuid& id) const {
    const std::optional<std::uint64_t> index = ids_.indexOf(id);
    if (!index || *index >= refs_.size()) {
        return std::nullopt;
    }
    return LinePlace(static_cast<std::size_t>(*index));
}

}  // namespace korvantis
