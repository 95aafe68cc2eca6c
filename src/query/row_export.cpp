// Writing rows out as JSON lines or CSV, and replacing a file with the result
// in one step.

#include "query/row_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <iterator>
#include <random>
#include <string>

namespace korvantis {

namespace {

constexpr std::string_view kRowFieldNames[] = {"kind", "type", "timestamp", "pid", "ppid", "path"};

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

void appendCsvValue(std::string& out, const FilterRow& row, const CsvField& field) {
    using Of = CsvField::Of;
    switch (field.of) {
        case Of::kind:
            out += row.isProcess ? "process" : row.isOther ? "other" : "file";
            break;
        case Of::type:
            appendCsvField(out, row.type);
            break;
        case Of::timestamp:
            appendCsvField(out, row.timestamp);
            break;
        case Of::pid:
            appendNumber(out, row.pid);
            break;
        case Of::ppid:
            if (row.isProcess || row.isOther) {
                appendNumber(out, row.ppid);
            }
            break;
        case Of::path:
            appendCsvField(out, row.path);
            break;
        case Of::fact:
            appendCsvField(out, row.facts[field.fact]);
            break;
    }
}

void appendCsvRecord(std::string& out, const FilterRow& row, const CsvFields& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        appendCsvValue(out, row, fields[i]);
    }
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

const CsvFields& defaultCsvFields() {
    using Of = CsvField::Of;
    static const CsvFields fields = {{Of::kind}, {Of::type}, {Of::timestamp},
                                     {Of::pid},  {Of::ppid}, {Of::path}};
    return fields;
}

std::string_view csvFieldName(const CsvField& field) {
    return field.of == CsvField::Of::fact ? kFactNames[static_cast<std::size_t>(field.fact)]
                                          : kRowFieldNames[static_cast<std::size_t>(field.of)];
}

std::optional<CsvFields> parseCsvFields(std::string_view list) {
    CsvFields fields;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        CsvField field;
        const int fact = factNamed(name);
        const auto* known = std::find(std::begin(kRowFieldNames), std::end(kRowFieldNames), name);
        if (fact >= 0) {
            field = {CsvField::Of::fact, static_cast<Fact>(fact)};
        } else if (known != std::end(kRowFieldNames) && !name.empty()) {
            field.of = static_cast<CsvField::Of>(known - std::begin(kRowFieldNames));
        } else {
            return std::nullopt;
        }
        fields.push_back(field);
        if (comma == std::string_view::npos) {
            return fields;
        }
        list.remove_prefix(comma + 1);
    }
}

ExportResult writeRows(int fd, std::string_view name, ExportFormat format,
                       const ExportRowSource& next, const CsvFields& fields) {
    ExportResult result;
    BufferedOutput output(fd, name);
    std::string& out = output.buffer();
    if (format == ExportFormat::csv) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out += i > 0 ? "," : "";
            out += csvFieldName(fields[i]);
        }
        out.push_back('\n');
    }
    ExportRow row;
    while (next(row)) {
        if (format == ExportFormat::jsonLines) {
            out += row.rawLine;
            out.push_back('\n');
        } else {
            appendCsvRecord(out, row.row, fields);
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
                              const ExportRowSource& next, const CsvFields& fields) {
    std::string temporary;
    const int fd = createTemporaryBeside(target, temporary);
    if (fd < 0) {
        return {0, failure(target, errno)};
    }
    ExportResult result = writeRows(fd, target, format, next, fields);
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
