#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvantis {

// The parent a row's rules see, kept line by line through one log: the
// image last told for a pid, and the command line of the pid's last exec
// unless a fork made a new process with that pid since.
class Lineage {
  public:
    void clear() {
        images_.clear();
        commandLines_.clear();
    }
    // Empty when nothing was told.
    std::string_view image(std::int64_t pid) const {
        const auto it = images_.find(pid);
        return it == images_.end() ? std::string_view{} : std::string_view(it->second);
    }
    std::string_view commandLine(std::int64_t pid) const {
        const auto it = commandLines_.find(pid);
        return it == commandLines_.end() ? std::string_view{} : std::string_view(it->second);
    }
    void tellImage(std::int64_t pid, std::string_view image) { images_[pid].assign(image); }
    // An exec row of `pid`; an empty command line is none.
    void exec(std::int64_t pid, std::string_view commandLine);
    void fork(std::int64_t pid) { commandLines_.erase(pid); }

  private:
    std::unordered_map<std::int64_t, std::string> images_;
    std::unordered_map<std::int64_t, std::string> commandLines_;
};

}  // namespace korvantis
