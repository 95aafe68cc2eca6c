#include "rules/lineage.h"

namespace korvantis {

void Lineage::exec(std::int64_t pid, std::string_view commandLine) {
    if (commandLine.empty()) {
        commandLines_.erase(pid);
    } else {
        commandLines_[pid].assign(commandLine);
    }
}

}  // namespace korvantis
