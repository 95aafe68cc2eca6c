// The HTML report of marked rows.

#include "investigation/marks_report.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <vector>

#include "decode/time_value.h"
#include "decode/utf8_text.h"

namespace korvantis {

namespace {

// Characters that would change how text around them reads or shows:
// C0 and C1 controls, bidirectional marks, embeddings, overrides and
// isolates, and the line and paragraph separators.
bool isHiddenControl(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x061c || c == 0x200e || c == 0x200f ||
           (c >= 0x2028 && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0xfeff;
}

// The code point of the UTF-8 sequence at `p` (valid text) and its length.
char32_t decode(std::string_view text, std::size_t at, std::size_t& length) {
    const auto b = static_cast<unsigned char>(text[at]);
    if (b < 0x80) {
        length = 1;
        return b;
    }
    length = b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : 2;
    char32_t c = b & (0x3f >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        c = c << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3f);
    }
    return c;
}

std::string sizeText(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return "";
    }
    return std::to_string(info.st_size) + " bytes";
}

struct LogSpan {
    TimeValue first = kNoTimeValue;
    TimeValue last = kNoTimeValue;
    void take(TimeValue t) {
        if (t == kNoTimeValue) {
            return;
        }
        first = first == kNoTimeValue ? t : std::min(first, t);
        last = last == kNoTimeValue ? t : std::max(last, t);
    }
};

struct ReportRow {
    RowView row;
    LinePlace entry;
};

constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; script-src 'none'; style-src 'unsafe-inline'; img-src 'none'; font-src 'none'; connect-src 'none'; frame-src 'none'; object-src 'none'; base-uri 'none'; form-action 'none'">
<meta name="referrer" content="no-referrer">
<title>Korvantis report</title>
<style>
body { font: 10pt sans-serif; margin: 1.5em; color: #000; background: #fff; }
h1 { font-size: 15pt; } h2 { font-size: 12pt; margin-top: 1.5em; }
table { border-collapse: collapse; width: 100%; table-layout: auto; }
th, td { white-space: nowrap; border: 1px solid #999; padding: 2px 4px; text-align: left; vertical-align: top;
         unicode-bidi: isolate; }
td.text { overflow-wrap: anywhere; }
th { background: #eee; }
thead { display: table-header-group; }
tr { break-inside: avoid; page-break-inside: avoid; }
td.text { white-space: normal; }
.note { white-space: pre-wrap; }
.ctl { color: #a00; font-family: monospace; }
code { font-family: monospace; }
@page { margin: 15mm; }
@media print { body { margin: 0; } }
</style></head><body>
<h1>Korvantis report</h1>
)";

}  // namespace

std::string htmlText(std::string_view raw) {
    const std::string text = isValidUtf8(raw) ? std::string(raw) : toValidUtf8(raw);
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 1;
        const char32_t c = decode(text, at, length);
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '\'') {
            out += "&#39;";
        } else if (c == '\n' || c == '\t') {
            out += static_cast<char>(c);
        } else if (isHiddenControl(c)) {
            char code[40];
            std::snprintf(code, sizeof code, "<span class=\"ctl\">[U+%04X]</span>",
                          static_cast<unsigned>(c));
            out += code;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out;
}

std::string marksReport(const EventStore& store, const RowMarks& marks, std::string_view filter,
                        const FilterQuery& query) {
    const LogFiles& logs = store.logFiles();
    std::vector<LogSpan> spans(logs.size());
    for (const RowKind kind : kRowKinds) {
        const PreviewRows& list = store.rows(kind);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::uint32_t log = store.lineRefs().ref(list.placeOf(i)).log;
            if (log < spans.size()) {
                spans[log].take(list.rowView(i).time);
            }
        }
    }

    // The marked rows the filter shows.
    std::vector<ReportRow> rows;
    for (const auto& [entry, text] : marks.marked()) {
        const std::optional<EventStore::RowPlace> at = store.rowAt(entry);
        if (!at) {
            continue;
        }
        RowView row = store.row(at->kind, at->index.value());
        row.tags = text->tags;
        row.note = text->note;
        const auto match = matchRow(query, row, [&, e = entry] {
            return store.lineText(e);  // a json: term only
        });
        if (match == RowMatch::shown) {
            rows.push_back({row, entry});
        }
    }
    // Time order; rows without a time value last, in load order.
    std::stable_sort(rows.begin(), rows.end(), [](const ReportRow& a, const ReportRow& b) {
        if ((a.row.time == kNoTimeValue) != (b.row.time == kNoTimeValue)) {
            return b.row.time == kNoTimeValue;
        }
        return a.row.time < b.row.time;
    });

    std::string out(kHead);
    out +=
        "<h2>Logs</h2>\n<table><thead><tr><th>Log</th><th>Size</th><th>First event</th>"
        "<th>Last event</th></tr></thead><tbody>\n";
    for (std::uint32_t log = 0; log < logs.size(); ++log) {
        out += "<tr><td>" + htmlText(logs.fileName(log)) + "</td><td>" +
               htmlText(sizeText(logs.path(log))) + "</td><td>" +
               (spans[log].first == kNoTimeValue ? "" : formatUtc(spans[log].first)) + "</td><td>" +
               (spans[log].last == kNoTimeValue ? "" : formatUtc(spans[log].last)) + "</td></tr>\n";
    }
    out += "</tbody></table>\n<h2>Filter</h2>\n<p>";
    out += filter.empty() ? std::string("No filter: every row")
                          : "<code>" + htmlText(filter) + "</code>";
    out += "</p>\n<h2>Marked rows</h2>\n";
    out +=
        "<table><thead><tr><th>Time</th><th>Kind</th><th>PID</th><th>Path</th>"
        "<th>Command line</th><th>Tags</th><th>Note</th></tr></thead><tbody>\n";
    std::map<std::string_view, std::size_t> tagCounts;
    for (const ReportRow& r : rows) {
        const RowView& row = r.row;
        out += "<tr><td>" + htmlText(row.timestamp) + "</td><td>" +
               std::string(kRowKindNames[indexOf(row.kind)]) + "</td><td>" +
               std::to_string(row.pid) + "</td><td class=\"text\">" + htmlText(row.path) +
               "</td><td class=\"text\">" + htmlText(row.facts[Fact::args]) + "</td><td>" +
               htmlText(row.tags) + "</td><td class=\"text note\">" + htmlText(row.note) +
               "</td></tr>\n";
        std::string_view tags = row.tags;
        while (!tags.empty()) {
            const std::size_t comma = tags.find(',');
            ++tagCounts[tags.substr(0, comma)];
            tags.remove_prefix(comma == std::string_view::npos ? tags.size() : comma + 1);
        }
    }
    out += "</tbody></table>\n<h2>Counts</h2>\n<table><tbody>\n";
    auto count = [&](std::string_view what, std::size_t n) {
        out += "<tr><th>" + htmlText(what) + "</th><td>" + std::to_string(n) + "</td></tr>\n";
    };
    count("Process events", store.rows(RowKind::process).size());
    count("File events", store.rows(RowKind::file).size());
    count("Other events", store.rows(RowKind::other).size());
    count("Load errors", store.loadErrors().size());
    count("Marked rows shown", rows.size());
    std::size_t detached = 0;
    for (const RowMarks::Detached& d : marks.detached()) {
        detached += d.count;
    }
    count("Marks that no longer match their lines", detached);
    for (const auto& [tag, n] : tagCounts) {
        count("Tag " + std::string(tag), n);
    }
    out += "</tbody></table>\n</body></html>\n";
    return out;
}

}  // namespace korvantis
