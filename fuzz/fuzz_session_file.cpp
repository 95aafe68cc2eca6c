// Reading a session file: any bytes give a session or a reason, never a
// crash; a session read is written and read back to the same marks.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "investigation/session_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvantis;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SessionRead read = parseSession(text, "/cases");
    if (!read.session) {
        if (read.error.empty()) {
            std::abort();  // a refusal always says why
        }
        return 0;
    }
    std::string error;
    const std::optional<std::string> written = sessionText(*read.session, "/cases", error);
    if (!written) {
        return 0;  // a path that is not UTF-8 cannot come from JSON, but say nothing
    }
    const SessionRead again = parseSession(*written, "/cases");
    if (!again.session || again.session->logs != read.session->logs ||
        again.session->marks.size() != read.session->marks.size() ||
        again.session->view != read.session->view) {
        std::abort();
    }
    for (const auto& [path, marks] : read.session->marks.logs()) {
        const LogMarks* back = again.session->marks.find(path);
        if (back == nullptr || back->size() != marks.size()) {
            std::abort();
        }
        for (const auto& [place, mark] : marks) {
            const auto it = back->find(place);
            if (it == back->end() || it->second.tags != mark.tags || it->second.note != mark.note) {
                std::abort();
            }
        }
    }
    return 0;
}
