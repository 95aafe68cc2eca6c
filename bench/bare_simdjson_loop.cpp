// bench_bare_simdjson: the yardstick for a load. Reads a log in 4 MiB reads
// and parses every line with simdjson's DOM parser on one thread. Prints its
// wall seconds.
//
// --parse-only keeps nothing: each line is parsed where it stands in the read
// buffer. This is the fair yardstick: the least a loader that checks whole
// lines must do. Without it a copy of every line is also kept in memory (the
// yardstick of earlier figures; its allocations make it slow and unsteady).
// With --decoder it runs the line decoder instead (no copies kept), to tell
// how the decoding alone compares with the bare parse.
//
// Usage: bench_bare_simdjson [--parse-only | --decoder] LOG

#include <simdjson.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "decode/line_decoder.h"

namespace {

// Calls `each` with every line of the file (without its line feed), read in
// 4 MiB chunks. At least simdjson's padding of readable bytes follows every
// line handed out. False when the file cannot be read.
template <typename Each>
bool forEachLine(const char* path, Each&& each) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    constexpr std::size_t kChunk = std::size_t{1} << 22;
    std::vector<char> buffer(kChunk + simdjson::SIMDJSON_PADDING);
    std::string carry;
    carry.reserve(kChunk);
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, kChunk, file)) > 0) {
        std::string_view chunk(buffer.data(), got);
        std::size_t newline = 0;
        while ((newline = chunk.find('\n')) != std::string_view::npos) {
            if (carry.empty()) {
                each(chunk.substr(0, newline));
            } else {
                carry.append(chunk.substr(0, newline));
                carry.reserve(carry.size() + simdjson::SIMDJSON_PADDING);
                each(std::string_view(carry));
                carry.clear();
            }
            chunk.remove_prefix(newline + 1);
        }
        carry.append(chunk);
    }
    if (!carry.empty()) {
        carry.reserve(carry.size() + simdjson::SIMDJSON_PADDING);
        each(std::string_view(carry));
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc == 3 ? argv[1] : "";
    const bool decoder = mode == "--decoder";
    const bool parseOnly = mode == "--parse-only";
    if (argc != 2 && !decoder && !parseOnly) {
        std::fprintf(stderr, "usage: bench_bare_simdjson [--parse-only | --decoder] LOG\n");
        return 2;
    }
    const char* path = argv[argc - 1];
    std::size_t lines = 0, bytes = 0, valid = 0;
    const auto start = std::chrono::steady_clock::now();
    bool read = false;
    if (decoder) {
        korvantis::LineDecoder lineDecoder;
        read = forEachLine(path, [&](std::string_view line) {
            ++lines;
            bytes += line.size() + 1;
            valid += lineDecoder.decode(line).has_value() ? 1 : 0;
        });
    } else if (parseOnly) {
        simdjson::dom::parser parser;
        read = forEachLine(path, [&](std::string_view line) {
            ++lines;
            bytes += line.size() + 1;
            simdjson::dom::element root;
            // The padding is there: no copy of the line is made.
            valid += parser.parse(line.data(), line.size(), false).get(root) ? 0 : 1;
        });
    } else {
        simdjson::dom::parser parser;
        std::vector<std::string> kept;
        read = forEachLine(path, [&](std::string_view line) {
            ++lines;
            bytes += line.size() + 1;
            const std::string& copy = kept.emplace_back(line);
            simdjson::dom::element root;
            valid += parser.parse(copy).get(root) ? 0 : 1;
        });
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!read) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    std::printf("%s: %zu lines, %zu accepted\n",
                decoder     ? "line decoder"
                : parseOnly ? "parse-only simdjson DOM loop"
                            : "bare simdjson DOM loop",
                lines, valid);
    std::printf("wall seconds: %.3f\n", seconds);
    std::printf("lines/s: %.0f\nMB/s: %.1f\n", lines / seconds, bytes / 1e6 / seconds);
    return 0;
}
