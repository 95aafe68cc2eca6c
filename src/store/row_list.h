#pragma once

namespace korvantis {

// The lists a row can be in.
enum class RowList { process, file, other };

}  // namespace korvantis
