// Writing rows out as JSON lines or CSV, and replacing a file with the result
// in one step.

#include "query/row_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <random>
#include <string>

namespace korvantis {

namespace {

constexpr std::string_view kCsvHeader = "kind,type,timestamp,pid,ppid,path\n";

std::string failure(std::string_view name, int error) {
    return "Could not write \"" + std::string(name) + "\": " + std::strerror(error);
}

// Gathers output in a buffer and hands it to the descriptor in large pieces.
class BufferedOutput {
  public:
    BufferedOutput(int fd, std::string_view name) : fd_(fd), name_(name) {
        buffer_.reserve(kFlushAt + 4096);
    }

    std::string& buffer() { return buffer_; }
    // Empty on success, else the error.
    std::string flushIfFull() { return buffer_.size() >= kFlushAt ? flush() : std::string(); }
    std::string flush() {
        const char* data = buffer_.data();
        std::size_t left = buffer_.size();
        while (left > 0) {
            const ssize_t written = ::write(fd_, data, left);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return failure(name_, errno);
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        buffer_.clear();
        return {};
    }

  private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    int fd_;
    std::string_view name_;
    std::string buffer_;
};

void appendNumber(std::string& out, std::int64_t value) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;  // 24 bytes always hold a 64-bit number
    out.append(digits, end);
}

// A CSV field, quoted when it holds a quote, a comma, CR or LF, with every
// quote doubled.
void appendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of("\",\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out.push_back('"');
    for (const char c : text) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

void appendCsvRecord(std::string& out, const FilterRow& row) {
    out += row.isProcess ? "process," : "file,";
    appendCsvField(out, row.type);
    out.push_back(',');
    appendCsvField(out, row.timestamp);
    out.push_back(',');
    appendNumber(out, row.pid);
    out.push_back(',');
    if (row.isProcess) {
        appendNumber(out, row.ppid);
    }
    out.push_back(',');
    appendCsvField(out, row.path);
    out.push_back('\n');
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new file of a name no one else uses, beside `target`. Returns its
// descriptor (or -1, errno set) and its name.
int createTemporaryBeside(const std::string& target, std::string& name) {
    static std::atomic<std::uint64_t> counter{0};
    std::random_device entropy;
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "." + base + ".part-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++) + "-" + std::to_string(entropy());
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

ExportResult writeRows(int fd, std::string_view name, ExportFormat format,
                       const ExportRowSource& next) {
    ExportResult result;
    BufferedOutput output(fd, name);
    std::string& out = output.buffer();
    if (format == ExportFormat::csv) {
        out += kCsvHeader;
    }
    ExportRow row;
    while (next(row)) {
        if (format == ExportFormat::jsonLines) {
            out += row.rawLine;
            out.push_back('\n');
        } else {
            appendCsvRecord(out, row.row);
        }
        ++result.rows;
        result.error = output.flushIfFull();
        if (!result.ok()) {
            return result;
        }
    }
    if (!row.failure.empty()) {
        result.error = row.failure;
        return result;
    }
    result.error = output.flush();
    return result;
}

ExportResult exportRowsToFile(const std::string& target, ExportFormat format,
                              const ExportRowSource& next) {
    std::string temporary;
    const int fd = createTemporaryBeside(target, temporary);
    if (fd < 0) {
        return {0, failure(target, errno)};
    }
    ExportResult result = writeRows(fd, target, format, next);
    // Whatever failed first is the reason given.
    if (result.ok() && ::fsync(fd) != 0) {
        result.error = failure(target, errno);
    }
    if (::close(fd) != 0 && result.ok()) {
        result.error = failure(target, errno);
    }
    if (result.ok() && ::rename(temporary.c_str(), target.c_str()) != 0) {
        result.error = failure(target, errno);
    }
    if (!result.ok()) {
        ::unlink(temporary.c_str());
        return result;
    }
    // Make the new name itself last across a crash; a folder that cannot be
    // synced still holds the finished file.
    const int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return result;
}

}  // namespace korvantis
