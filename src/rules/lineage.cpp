#include "rules/lineage.h"

namespace korvantis {

void Lineage::clear() {
    pool_.clear();
    texts_.assign(1, nullptr);
    commands_.clear();
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
        fork(pid);
        return;
    }
    Told& told = byPid_[pid];
    if (told.command == kNone) {
        commands_.emplace_back(commandLine);
        told.command = static_cast<std::uint32_t>(commands_.size());
    } else {
        commands_[told.command - 1].assign(commandLine);
    }
}

void Lineage::fork(std::int64_t pid) {
    if (const Told* told = byPid_.find(pid); told != nullptr && told->command != kNone) {
        commands_[told->command - 1].clear();
    }
}

}  // namespace korvantis
