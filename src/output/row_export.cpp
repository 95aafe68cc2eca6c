// Writing rows out as JSON lines or CSV, and replacing a file with the result
// in one step.

#include "output/row_export.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "output/file_replacement.h"

namespace korvantis {

namespace {

std::string failure(std::string_view name, int error) {
    return writeFailure(std::string(name), error);
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

// Whether `text` holds none of the bytes a CSV field is quoted for. Every
// field of an export passes here: eight bytes at a time, each word tested
// for a zero byte once the bytes looked for are turned to zeros; the last
// word ends where the text does.
bool plainInCsv(std::string_view text) {
    auto quoted = [](char c) { return c == '"' || c == ',' || c == '\r' || c == '\n'; };
    if (text.size() < 8) {
        return std::none_of(text.begin(), text.end(), quoted);
    }
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    auto holds = [](std::uint64_t word, char c) {
        const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
        return (x - kOnes) & ~x & kHighs;
    };
    auto plainAt = [&](std::size_t at) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        return (holds(word, '"') | holds(word, ',') | holds(word, '\r') | holds(word, '\n')) == 0;
    };
    for (std::size_t at = 0; at + 8 < text.size(); at += 8) {
        if (!plainAt(at)) {
            return false;
        }
    }
    return plainAt(text.size() - 8);
}

// A CSV field, quoted when it holds a quote, a comma, CR or LF, with every
// quote doubled.
void appendCsvField(std::string& out, std::string_view text) {
    if (plainInCsv(text)) {
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

void appendCsvRecord(std::string& out, const RowView& row, const FieldList& fields,
                     std::string& scratch) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        appendCsvField(out, fieldText(fields[i], row, scratch));
    }
    out.push_back('\n');
}

}  // namespace

const FieldList& defaultCsvFields() {
    static const FieldList fields = {FieldId::kind, FieldId::type, FieldId::timestamp,
                                     FieldId::pid,  FieldId::ppid, FieldId::path};
    return fields;
}

ExportResult writeRows(int fd, std::string_view name, ExportFormat format,
                       const ExportRowSource& next, const FieldList& fields, bool header) {
    ExportResult result;
    BufferedOutput output(fd, name);
    std::string& out = output.buffer();
    if (format == ExportFormat::csv && header) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            out += i > 0 ? "," : "";
            out += rowField(fields[i]).name;
        }
        out.push_back('\n');
    }
    ExportRow row;
    std::string scratch;
    while (next(row)) {
        if (format == ExportFormat::jsonLines) {
            out += row.rawLine;
            out.push_back('\n');
        } else {
            appendCsvRecord(out, row.row, fields, scratch);
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
                              const ExportRowSource& next, const FieldList& fields) {
    ExportResult result;
    result.error = replaceFile(target, [&](int fd) {
        result = writeRows(fd, target, format, next, fields);
        return result.error;
    });
    return result;
}

}  // namespace korvantis
