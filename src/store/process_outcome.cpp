#include "store/process_outcome.h"

namespace korvantis {

std::string becameOutcome(std::string_view path) {
    return "became " + std::string(path);
}

}  // namespace korvantis
