// Writing rows out as JSON lines or CSV, and replacing a file with the result
// in one step.

#include "query/row_export.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <iterator>
#include <string>

#include "ingest/time_value.h"
#include "query/file_replacement.h"
#include "rules/rule_hit_sets.h"

namespace korvantis {

namespace {

constexpr std::string_view kRowFieldNames[] = {"kind",  "type", "timestamp", "pid",   "ppid",
                                               "path",  "utc",  "outcome",   "rules", "rule_ids",
                                               "level", "tags", "note"};

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

void appendCsvValue(std::string& out, const RowView& row, const CsvField& field) {
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
        case Of::utc:
            if (row.time != kNoTimeValue) {
                out += formatUtc(row.time);
            }
            break;
        case Of::outcome:
            appendCsvField(out, row.outcome);
            break;
        case Of::rules:
            appendCsvField(out, ruleTitlesOf(row.ruleHits));
            break;
        case Of::rule_ids:
            appendCsvField(out, ruleIdsOf(row.ruleHits));
            break;
        case Of::level:
            out += ruleLevelName(ruleLevelOf(row.ruleHits));
            break;
        case Of::tags:
            appendCsvField(out, row.tags);
            break;
        case Of::note:
            appendCsvField(out, row.note);
            break;
        case Of::fact:
            appendCsvField(out, row.facts[field.fact]);
            break;
    }
}

void appendCsvRecord(std::string& out, const RowView& row, const CsvFields& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        appendCsvValue(out, row, fields[i]);
    }
    out.push_back('\n');
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
                       const ExportRowSource& next, const CsvFields& fields, bool header) {
    ExportResult result;
    BufferedOutput output(fd, name);
    std::string& out = output.buffer();
    if (format == ExportFormat::csv && header) {
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
    ExportResult result;
    result.error = replaceFile(target, [&](int fd) {
        result = writeRows(fd, target, format, next, fields);
        return result.error;
    });
    return result;
}

}  // namespace korvantis
