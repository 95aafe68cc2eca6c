#include "output/received_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "input/cache_file.h"
#include "input/full_io.h"
#include "input/spool_text.h"
#include "output/file_replacement.h"
#include "store/log_files.h"

namespace korvantis {

namespace {

const SpoolText* spoolOf(const std::shared_ptr<const LogText>& text) {
    return dynamic_cast<const SpoolText*>(text.get());
}

// Copies the spool as it stands now; what comes later is not waited for.
std::string copySpool(int from, int to, const std::string& target) {
    struct stat st;
    if (::fstat(from, &st) != 0) {
        return writeFailure(target, errno);
    }
    std::string block(std::size_t{1} << 20, '\0');
    for (std::uint64_t at = 0; at < static_cast<std::uint64_t>(st.st_size);) {
        const ssize_t n = readFullyAt(from, block.data(), block.size(), at);
        if (n <= 0) {
            return writeFailure(target, n < 0 ? errno : EIO);
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, block.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return writeFailure(target, w < 0 ? errno : EIO);
            }
            done += w;
        }
        at += static_cast<std::uint64_t>(n);
    }
    return {};
}

}  // namespace

std::optional<std::uint32_t> firstReceivedLog(const LogFiles& logs) {
    for (std::uint32_t log = 0; log < logs.size(); ++log) {
        if (spoolOf(logs.text(log)) != nullptr) {
            return log;
        }
    }
    return std::nullopt;
}

std::string saveReceivedLog(const LogFiles& logs, std::uint32_t log, const std::string& target) {
    const std::shared_ptr<const LogText> text = logs.text(log);  // kept while copying
    const SpoolText* spool = spoolOf(text);
    if (spool == nullptr) {
        return writeFailure(target, EINVAL);
    }
    return replaceFile(
        target, [&](int fd) { return copySpool(spool->spool().fileDescriptor(), fd, target); });
}

}  // namespace korvantis
