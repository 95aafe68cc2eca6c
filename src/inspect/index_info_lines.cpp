#include "inspect/index_info_lines.h"

#include <iostream>

#include "index/index_info.h"
#include "inspect/terminal_text.h"

namespace korvantis {

int writeIndexInfo(const std::vector<std::string>& logs, CheckedOutput& out) {
    std::string why;
    const std::string folder = IndexCache::defaultFolder(false, &why);
    if (folder.empty()) {
        std::cerr << "korvantis-inspect: " << terminalText(why) << "\n";
        return 1;
    }
    const IndexCache cache(folder);
    int status = 0;
    for (const std::string& log : logs) {
        const IndexInfo info = indexInfo(cache, log);
        if (!info.logOpened) {
            std::cerr << "korvantis-inspect: cannot open " << terminalText(log) << ": "
                      << terminalText(info.text) << "\n";
            status = 1;
            continue;
        }
        out.write(terminalText(log) + ": " + terminalText(info.text) + "\n");
    }
    return status;
}

}  // namespace korvantis
