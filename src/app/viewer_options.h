#pragma once

#include <string>
#include <vector>

namespace korvantis {

// What the viewer's command line asks for. Read before any Qt object exists,
// so that --help and --version work without a display.
struct ViewerOptions {
    bool help = false;
    bool version = false;
    bool follow = false;   // the first window starts with Follow on
    bool noIndex = false;  // nothing read from, written to or made in the index cache
    // The logs to load, in order.
    std::vector<std::string> logs;
    // The program name and Qt's own options, for QApplication, which reads
    // (and may remove) them; the logs never reach Qt's parser.
    std::vector<char*> qtArguments;
};

struct ParsedViewerArguments {
    bool ok = false;
    ViewerOptions options;
    std::string error;  // when not ok: what is wrong, for standard error
};

ParsedViewerArguments parseViewerArguments(int argc, char** argv);

// The usage with a line for every option, ending with a line feed.
std::string viewerUsage();

}  // namespace korvantis
