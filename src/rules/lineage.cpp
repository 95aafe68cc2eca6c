#include "rules/lineage.h"

namespace korvantis {

void Lineage::clear() {
    pool_.clear();
    texts_.assign(1, nullptr);
    byPid_.clear();
}

void Lineage::tellImage(std::int64_t pid, std::string_view image) {
    // A pid mostly tells what it told last (every row of a process tells
    // its image): then nothing changes and no text is looked up.
    std::uint32_t& text = byPid_[pid].image;
    if (text != kNone && *texts_[text] == image) {
        return;
    }
    auto it = pool_.find(image);
    if (it == pool_.end()) {
        it = pool_.emplace(std::string(image), static_cast<std::uint32_t>(texts_.size())).first;
        texts_.push_back(&it->first);  // a key stays where it is
    }
    text = it->second;
}

void Lineage::exec(std::int64_t pid, std::string_view commandLine) {
    if (commandLine.empty()) {
        if (Told* told = byPid_.find(pid)) {
            told->commandLine.clear();
        }
        return;
    }
    byPid_[pid].commandLine.assign(commandLine);
}

void Lineage::fork(std::int64_t pid) {
    if (Told* told = byPid_.find(pid)) {
        told->commandLine.clear();
    }
}

}  // namespace korvantis
