#pragma once

#include <functional>
#include <string>

namespace korvantis {

// Writes everything to the open descriptor; empty on success, else the
// reason (already naming the file).
using FileWriter = std::function<std::string(int fd)>;

// Replaces the file `target` names in one step: the writer fills a new file
// beside it, which is flushed to disk and renamed over it. A symbolic link is
// followed, so the file it names is replaced and the link stays; a file that
// is there keeps its permission bits, and its owner and group where this
// user may set them; a new file gets the mode new files of this process get.
// On any failure the new file is removed, the target is left as it was, and
// the result names `target` and the system's reason. Empty on success. A
// special file (a FIFO, a device) is written into instead, and a FIFO that
// no one reads is refused.
std::string replaceFile(const std::string& target, const FileWriter& write);

// "Could not write "NAME": reason".
std::string writeFailure(const std::string& name, int error);

}  // namespace korvantis
