#pragma once

#include <string>

namespace korvantis {

// Why the log at `path` cannot be read as a log, in the system's words where
// it has them ("No such file or directory", "Permission denied"), else
// "Is a directory" or "Not a regular file". Does not wait on a FIFO.
std::string openFailureReason(const std::string& path);

// "Could not open NAME: reason", NAME being the last part of `path`.
std::string openFailureText(const std::string& path);

}  // namespace korvantis
