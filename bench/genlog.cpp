// korvantis-genlog: writes a synthetic event log, deterministic for a seed.
// Shaped like a real capture: a process tree that grows by fork then exec,
// file activity of live processes, extra keys the viewer ignores, some
// non-ASCII text and escapes, and optionally a share of broken lines.
//
// Usage: korvantis-genlog LINES [--seed N] [--bad-per-mille N] [--deep N] > log.json
//   --deep N   first a chain of N processes, each the child of the last

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kBinaries[] = {
    "/bin/zsh",
    "/bin/bash",
    "/usr/bin/git",
    "/usr/bin/ssh",
    "/usr/bin/curl",
    "/usr/libexec/xpcproxy",
    "/usr/sbin/mDNSResponder",
    "/usr/bin/python3",
    "/Applications/Safari.app/Contents/MacOS/Safari",
    "/usr/bin/login",
    "/System/Library/CoreServices/Finder.app/Contents/MacOS/Finder",
    "/usr/local/bin/node",
    "/usr/bin/make",
    "/usr/bin/clang",
    "/bin/ls",
    "/usr/bin/sudo",
    "/usr/bin/osascript",
    "/tmp/.hidden/agent",
    "/Users/\xC3\xA9milie/Library/Application Support/\xC3\x9Cn\xC3\xAF"
    "code App/helper",
};
constexpr std::string_view kDirs[] = {
    "/Users/alice/Documents",
    "/private/var/folders/xy/T",
    "/tmp",
    "/Library/Preferences",
    "/Users/alice/Library/Caches/com.example",
    "/etc",
    "/usr/local/var/log",
    "/Users/\xC3\xA9milie/Desktop",
    // Written with escapes in the log: decoded text differs from the raw bytes.
    "/Users/bob/\\\"quoted\\\" dir",
    "/Users/bob/caf\\u00e9",
};
constexpr std::string_view kFileEvents[] = {
    "ES_EVENT_TYPE_NOTIFY_OPEN",   "ES_EVENT_TYPE_NOTIFY_CLOSE", "ES_EVENT_TYPE_NOTIFY_WRITE",
    "ES_EVENT_TYPE_NOTIFY_RENAME", "ES_EVENT_TYPE_NOTIFY_LINK",  "ES_EVENT_TYPE_NOTIFY_UNLINK",
    "ES_EVENT_TYPE_NOTIFY_CREATE",
};
constexpr std::string_view kOtherEvents[] = {
    "ES_EVENT_TYPE_NOTIFY_EXIT",
    "ES_EVENT_TYPE_NOTIFY_SIGNAL",
    "ES_EVENT_TYPE_NOTIFY_MMAP",
};
constexpr std::string_view kExtensions[] = {"txt", "plist", "db", "log"};
constexpr std::string_view kBad[] = {
    R"({"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":)",
    "",
    "   ",
    "[1,2,3]",
    R"({"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":42})",
    R"({"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":3}})",
    R"(  "process" : {)",
    "not json at all",
    R"({"Event":"x","timestamp":"t"})",
    R"({"event":"ES_EVENT_TYPE_NOTIFY_WRITE","timestamp":"t","fileOld":{"destination":"/x"}})",
    "{\"event\":\"ES_EVENT_TYPE_NOTIFY_OPEN\",\"timestamp\":\"\xFF\xFE\"}",
};

template <typename T, std::size_t N>
constexpr std::size_t countOf(const T (&)[N]) {
    return N;
}

// splitmix64: small, fast, and the same sequence everywhere.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // In [0, n).
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    // In [lo, hi].
    std::int64_t between(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(hi - lo + 1)));
    }

  private:
    std::uint64_t state_;
};

struct Live {
    std::int64_t pid;
    std::int64_t ppid;
    std::string_view path;
};

class Writer {
  public:
    explicit Writer(Random& random) : random_(random) {}

    std::string& line() { return line_; }

    void timestamp() {
        usec_ += random_.between(1, 4000);
        if (usec_ >= 1000000) {
            sec_ += usec_ / 1000000;
            usec_ %= 1000000;
        }
        char buf[48];
        std::snprintf(buf, sizeof buf, "\"timestamp\":\"%lld.%06lld\"",
                      static_cast<long long>(sec_), static_cast<long long>(usec_));
        line_ += buf;
    }

    void process(const Live& p) {
        line_ += "{\"pid\":" + std::to_string(p.pid) + ",\"ppid\":" + std::to_string(p.ppid) +
                 ",\"path\":\"";
        line_ += p.path;
        line_ += "\",\"uid\":501,\"signing_id\":\"com.example.";
        line_ += p.path.substr(p.path.rfind('/') + 1);
        line_ += "\",\"arguments\":[\"";
        line_ += p.path;
        line_ += "\"";
        for (auto n = random_.below(4); n > 0; --n) {
            line_ += ",\"-v\"";
        }
        line_ += "]}";
    }

    void begin(std::string_view event) {
        line_ = "{\"event\":\"";
        line_ += event;
        line_ += "\",";
        timestamp();
    }

    void end() {
        line_ += "}\n";
        std::fwrite(line_.data(), 1, line_.size(), stdout);
    }

  private:
    Random& random_;
    std::string line_;
    std::int64_t sec_ = 1765000000;
    std::int64_t usec_ = 0;
};

bool parseNumber(const char* text, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    long long lines = -1, seed = 1, badPerMille = 0, deep = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        long long* target = nullptr;
        if (arg == "--seed") {
            target = &seed;
        } else if (arg == "--bad-per-mille") {
            target = &badPerMille;
        } else if (arg == "--deep") {
            target = &deep;
        } else if (lines < 0 && parseNumber(argv[i], lines)) {
            continue;
        }
        if (target == nullptr || i + 1 >= argc || !parseNumber(argv[i + 1], *target)) {
            std::fprintf(
                stderr,
                "usage: korvantis-genlog LINES [--seed N] [--bad-per-mille N] [--deep N]\n");
            return 2;
        }
        ++i;
    }
    if (lines < 0) {
        std::fprintf(stderr,
                     "usage: korvantis-genlog LINES [--seed N] [--bad-per-mille N] [--deep N]\n");
        return 2;
    }
    static char outBuffer[1 << 20];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    Random random(static_cast<std::uint64_t>(seed));
    Writer w(random);
    std::vector<Live> live{{1, 0, "/sbin/launchd"}};
    std::int64_t nextPid = 100;
    long long emitted = 0;

    std::int64_t ppid = 1;
    for (long long i = 0; i < deep; ++i) {
        static std::string chainPaths[10];
        const std::int64_t pid = 5000000 + i;
        chainPaths[i % 10] = "/usr/bin/chain" + std::to_string(i % 10);
        w.begin("ES_EVENT_TYPE_NOTIFY_EXEC");
        w.line() += ",\"process\":";
        w.process(Live{pid, ppid, chainPaths[i % 10]});
        w.end();
        ppid = pid;
        ++emitted;
    }

    while (emitted < lines) {
        ++emitted;
        if (badPerMille > 0 && static_cast<long long>(random.below(1000)) < badPerMille) {
            std::string bad(kBad[random.below(countOf(kBad))]);
            bad += "\n";
            std::fwrite(bad.data(), 1, bad.size(), stdout);
            continue;
        }
        const std::uint64_t r = random.below(100);
        if (r < 18) {  // a live process forks, the child execs
            const Live parent = live[random.below(live.size())];
            const std::int64_t child = nextPid;
            nextPid += random.between(1, 7);
            w.begin("ES_EVENT_TYPE_NOTIFY_FORK");
            w.line() += ",\"process\":";
            w.process(Live{child, parent.pid, parent.path});
            w.end();
            if (emitted < lines) {
                ++emitted;
                const std::string_view path = kBinaries[random.below(countOf(kBinaries))];
                w.begin("ES_EVENT_TYPE_NOTIFY_EXEC");
                w.line() += ",\"process\":";
                w.process(Live{child, parent.pid, path});
                w.end();
                live.push_back(Live{child, parent.pid, path});
                if (live.size() > 400) {
                    live.erase(live.begin() + 1 + static_cast<long>(random.below(live.size() - 1)));
                }
            }
        } else if (r < 95) {
            const Live p = live[random.below(live.size())];
            const std::string_view event = kFileEvents[random.below(countOf(kFileEvents))];
            std::string dest(kDirs[random.below(countOf(kDirs))]);
            dest += "/file" + std::to_string(random.below(5000)) + ".";
            dest += kExtensions[random.below(countOf(kExtensions))];
            w.begin(event);
            w.line() += ",\"process\":";
            w.process(p);
            w.line() += ",\"file\":{\"pid\":" + std::to_string(p.pid) + ",\"destination\":\"" +
                        dest + "\",\"size\":" + std::to_string(random.below(1 << 20)) + "}";
            if (event == "ES_EVENT_TYPE_NOTIFY_RENAME") {
                w.line() += ",\"fileOld\":{\"destination\":\"" + dest + ".tmp\",\"process\":";
                w.process(p);
                w.line() += "}";
            }
            w.end();
        } else {
            const Live p = live[random.below(live.size())];
            w.begin(kOtherEvents[random.below(countOf(kOtherEvents))]);
            w.line() += ",\"process\":";
            w.process(p);
            w.end();
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
