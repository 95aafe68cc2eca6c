// korvantis-genlog: writes a synthetic event log, deterministic for a seed.
// Shaped like a real capture: a process tree that grows by fork then exec,
// file activity of live processes, extra keys the viewer ignores, some
// non-ASCII text and escapes, and optionally a share of broken lines.
//
// Usage: korvantis-genlog LINES [--seed N] [--bad-per-mille N] [--deep N] [--eslogger] > log.json
//   --deep N     first a chain of N processes, each the child of the last
//   --eslogger   the same activity as macOS's eslogger writes it: one whole
//                message per line (about 2.3 KB), "/" written as "\/", signing
//                data, stat blocks, argument and environment arrays; broken
//                lines are then messages cut off mid-write.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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
constexpr std::string_view kEnvironment[] = {
    "PATH=/usr/bin:/bin:/usr/sbin:/sbin:/usr/local/bin",
    "HOME=/Users/alice",
    "SHELL=/bin/zsh",
    "LANG=en_US.UTF-8",
    "TERM=xterm-256color",
    "TMPDIR=/var/folders/xy/T/",
    "USER=alice",
    "LOGNAME=alice",
    "SSH_AUTH_SOCK=/private/tmp/com.apple.launchd.Xyz/Listeners",
    "__CF_USER_TEXT_ENCODING=0x1F5:0x0:0x0",
    "XPC_FLAGS=0x0",
    "PWD=/Users/alice/Documents",
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

// What happens on the machine, told to a log writer one event at a time. The
// activity draws from the shared random sequence in the same order whatever
// the format, so both formats of one seed describe the same processes and files.
class LogFormat {
  public:
    virtual ~LogFormat() = default;
    // `child` forks off `parent`.
    virtual void fork(const Live& parent, std::int64_t child) = 0;
    // `child` (still running the image of `parent`) executes `path`.
    virtual void exec(const Live& parent, std::int64_t child, std::string_view path) = 0;
    // `event` is an index into kFileEvents; the file is dir + "/" + name.
    virtual void file(const Live& p, std::size_t event, std::string_view dir,
                      const std::string& name) = 0;
    // `event` is an index into kOtherEvents.
    virtual void other(const Live& p, std::size_t event) = 0;
    // A broken line; `which` is an index into kBad.
    virtual void bad(const Live& p, std::size_t which) = 0;
};

class Writer {
  public:
    explicit Writer(Random& random) : random_(random) {}

    std::string& line() { return line_; }

    // Advances the clock; seconds and microseconds.
    void tick() {
        usec_ += random_.between(1, 4000);
        if (usec_ >= 1000000) {
            sec_ += usec_ / 1000000;
            usec_ %= 1000000;
        }
    }
    std::int64_t sec() const { return sec_; }
    std::int64_t usec() const { return usec_; }

    void timestamp() {
        tick();
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

    Random& random() { return random_; }

  private:
    Random& random_;
    std::string line_;
    std::int64_t sec_ = 1765000000;
    std::int64_t usec_ = 0;
};

// The viewer's own record format.
class NativeFormat : public LogFormat {
  public:
    explicit NativeFormat(Random& random) : w_(random) {}

    void fork(const Live& parent, std::int64_t child) override {
        w_.begin("ES_EVENT_TYPE_NOTIFY_FORK");
        w_.line() += ",\"process\":";
        w_.process(Live{child, parent.pid, parent.path});
        w_.end();
    }
    void exec(const Live& parent, std::int64_t child, std::string_view path) override {
        w_.begin("ES_EVENT_TYPE_NOTIFY_EXEC");
        w_.line() += ",\"process\":";
        w_.process(Live{child, parent.pid, path});
        w_.end();
    }
    void file(const Live& p, std::size_t event, std::string_view dir,
              const std::string& name) override {
        const std::string dest = std::string(dir) + "/" + name;
        w_.begin(kFileEvents[event]);
        w_.line() += ",\"process\":";
        w_.process(p);
        w_.line() += ",\"file\":{\"pid\":" + std::to_string(p.pid) + ",\"destination\":\"" + dest +
                     "\",\"size\":" + std::to_string(w_.random().below(1 << 20)) + "}";
        if (kFileEvents[event] == "ES_EVENT_TYPE_NOTIFY_RENAME") {
            w_.line() += ",\"fileOld\":{\"destination\":\"" + dest + ".tmp\",\"process\":";
            w_.process(p);
            w_.line() += "}";
        }
        w_.end();
    }
    void other(const Live& p, std::size_t event) override {
        w_.begin(kOtherEvents[event]);
        w_.line() += ",\"process\":";
        w_.process(p);
        w_.end();
    }
    void bad(const Live&, std::size_t which) override {
        std::string line(kBad[which]);
        line += "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }

  private:
    Writer w_;
};

// eslogger's format: one es_message_t per line. The activity's draws are
// made as in NativeFormat; everything else about a message (stat blocks,
// hashes, the shape of its audit tokens) draws from a sequence of its own.
class EsloggerFormat : public LogFormat {
  public:
    EsloggerFormat(Random& random, std::uint64_t seed)
        : w_(random), extra_(seed ^ 0x65736c6f67676572ULL) {}

    void fork(const Live& parent, std::int64_t child) override {
        begin(11);
        w_.random().below(4);
        process(parent);
        body("fork");
        line() += "\"child\":";
        process(Live{child, parent.pid, parent.path});
        end();
    }
    void exec(const Live& parent, std::int64_t child, std::string_view path) override {
        begin(9);
        const std::uint64_t args = w_.random().below(4);
        process(Live{child, parent.pid, parent.path});
        body("exec");
        line() += "\"target\":";
        process(Live{child, parent.pid, path});
        line() += ",\"dyld_exec_path\":";
        escaped(path);
        line() += ",\"script\":null,\"cwd\":";
        fileObject(kDirs[extra_.below(countOf(kDirs))]);
        line() += ",\"args\":[";
        escaped(path);
        for (auto n = args; n > 0; --n) {
            line() += ",\"-v\"";
        }
        line() += "],\"env\":[";
        const std::size_t vars = 4 + extra_.below(countOf(kEnvironment) - 3);
        for (std::size_t i = 0; i < vars; ++i) {
            if (i > 0) {
                line() += ",";
            }
            escaped(kEnvironment[i]);
        }
        line() += "],\"image_cputype\":16777228,\"image_cpusubtype\":2,\"last_fd\":" +
                  std::to_string(extra_.below(40)) + ",\"fds\":[{\"fd\":0,\"fdtype\":1}]";
        end();
    }
    void file(const Live& p, std::size_t event, std::string_view dir,
              const std::string& name) override {
        static constexpr std::string_view kNames[] = {"open", "close",  "write", "rename",
                                                      "link", "unlink", "create"};
        static constexpr int kTypes[] = {10, 12, 33, 25, 19, 32, 13};
        const std::string dest = std::string(dir) + "/" + name;
        begin(kTypes[event]);
        w_.random().below(4);
        process(p);
        const std::string_view kind = kNames[event];
        const std::uint64_t size = w_.random().below(1 << 20);
        if (kind == "rename") {
            w_.random().below(4);
        }
        body(kind);
        if (kind == "open") {
            line() += "\"fflag\":" + std::to_string(1 + size % 3) + ",\"file\":";
            fileObject(dest);
        } else if (kind == "close" || kind == "write" || kind == "unlink") {
            line() += "\"target\":";
            fileObject(dest);
            if (kind == "close") {
                line() += size % 2 == 0 ? ",\"modified\":true" : ",\"modified\":false";
                line() += ",\"was_mapped_writable\":false";
            } else if (kind == "unlink") {
                line() += ",\"parent_dir\":";
                fileObject(dir);
            }
        } else if (kind == "link") {
            line() += "\"source\":";
            fileObject(dest + ".orig");
            line() += ",\"target_dir\":";
            fileObject(dir);
            line() += ",\"target_filename\":";
            escaped(name);
        } else {  // rename, create
            if (kind == "rename") {
                line() += "\"source\":";
                fileObject(dest + ".tmp");
                line() += ",";
            }
            if (extra_.below(2) == 0) {
                line() += "\"destination_type\":0,\"destination\":{\"existing_file\":";
                fileObject(dest);
                line() += "}";
            } else {
                line() += "\"destination_type\":1,\"destination\":{\"new_path\":{\"dir\":";
                fileObject(dir);
                line() += ",\"filename\":";
                escaped(name);
                line() += ",\"mode\":420}}";
            }
        }
        end();
    }
    void other(const Live& p, std::size_t event) override {
        static constexpr std::string_view kNames[] = {"exit", "signal", "mmap"};
        static constexpr int kTypes[] = {15, 31, 20};
        begin(kTypes[event]);
        w_.random().below(4);
        process(p);
        body(kNames[event]);
        if (event == 0) {
            line() += "\"stat\":0";
        } else if (event == 1) {
            line() += "\"sig\":15,\"target\":";
            process(p);
        } else {
            line() +=
                "\"protection\":1,\"max_protection\":7,\"flags\":1,\"file_pos\":0,\"source\":";
            fileObject("/usr/lib/dyld");
        }
        end();
    }
    // What a recorder killed while writing leaves: a message cut off.
    void bad(const Live& p, std::size_t which) override {
        cutAt_ = 1 + which;
        other(p, 0);
    }

  private:
    std::string& line() { return w_.line(); }

    // A JSON string literal of raw JSON string text (escapes in it are kept),
    // with every "/" written as "\/".
    void escaped(std::string_view text) {
        line() += '"';
        for (const char c : text) {
            if (c == '/') {
                line() += '\\';
            }
            line() += c;
        }
        line() += '"';
    }

    void begin(int type) {
        w_.tick();
        mach_ += 1000 + extra_.below(90000);
        ++seq_;
        arrayTokens_ = extra_.below(8) == 0;
        line() = "{\"schema_version\":1,\"version\":8,\"mach_time\":" + std::to_string(mach_) +
                 ",\"event_type\":" + std::to_string(type) +
                 ",\"seq_num\":" + std::to_string(seq_) +
                 ",\"global_seq_num\":" + std::to_string(seq_) + ",\"time\":\"";
        std::tm utc{};
        const std::time_t sec = static_cast<std::time_t>(w_.sec());
        gmtime_r(&sec, &utc);
        char buf[64];
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &utc);
        line() += buf;
        std::snprintf(buf, sizeof buf, ".%06lld%03lluZ\"", static_cast<long long>(w_.usec()),
                      static_cast<unsigned long long>(extra_.below(1000)));
        line() += buf;
        line() += ",\"thread\":{\"thread_id\":" + std::to_string(100000 + extra_.below(900000)) +
                  "},\"action_type\":1,\"action\":{\"result\":{\"result_type\":0,\"result\":"
                  "{\"auth\":0}}},\"process\":";
    }
    void body(std::string_view kind) {
        line() += ",\"event\":{\"";
        line() += kind;
        line() += "\":{";
    }
    void end() {
        line() += "}}}\n";
        if (cutAt_ > 0) {
            line().resize(line().size() * cutAt_ / (countOf(kBad) + 2));
            line() += '\n';
            cutAt_ = 0;
        }
        std::fwrite(line().data(), 1, line().size(), stdout);
    }

    void token(std::int64_t pid, int version) {
        if (arrayTokens_) {
            line() += "[501,501,20,501,20," + std::to_string(pid) + ",100022," +
                      std::to_string(version) + "]";
            return;
        }
        line() += "{\"auid\":501,\"euid\":501,\"egid\":20,\"ruid\":501,\"rgid\":20,\"pid\":" +
                  std::to_string(pid) +
                  ",\"asid\":100022,\"pidversion\":" + std::to_string(version) + "}";
    }
    void stat(std::uint64_t size) {
        constexpr std::string_view kTime = "\"2025-12-10T12:24:35.000000000Z\"";
        line() += "{\"st_dev\":16777233,\"st_ino\":" + std::to_string(extra_.below(1 << 24)) +
                  ",\"st_mode\":33261,\"st_nlink\":1,\"st_uid\":0,\"st_gid\":0,\"st_rdev\":0,"
                  "\"st_atimespec\":";
        line() += kTime;
        line() += ",\"st_mtimespec\":";
        line() += kTime;
        line() += ",\"st_ctimespec\":";
        line() += kTime;
        line() += ",\"st_birthtimespec\":";
        line() += kTime;
        line() += ",\"st_size\":" + std::to_string(size) +
                  ",\"st_blocks\":" + std::to_string(size / 512) +
                  ",\"st_blksize\":4096,\"st_flags\":0,\"st_gen\":0}";
    }
    void fileObject(std::string_view path) {
        line() += "{\"path\":";
        escaped(path);
        line() += ",\"path_truncated\":false,\"stat\":";
        stat(extra_.below(1 << 22));
        line() += "}";
    }
    void process(const Live& p) {
        const std::string_view name = p.path.substr(p.path.rfind('/') + 1);
        line() += "{\"audit_token\":";
        token(p.pid, 1);
        line() += ",\"parent_audit_token\":";
        token(p.ppid, 3);
        line() += ",\"responsible_audit_token\":";
        token(p.ppid, 7);
        line() += ",\"ppid\":" + std::to_string(p.ppid) +
                  ",\"original_ppid\":" + std::to_string(p.ppid) +
                  ",\"group_id\":" + std::to_string(p.pid) +
                  ",\"session_id\":" + std::to_string(p.pid) + ",\"is_platform_binary\":";
        const bool platform = p.path.substr(0, 4) == "/bin" || p.path.substr(0, 4) == "/usr";
        line() += platform ? "true" : "false";
        line() +=
            ",\"is_es_client\":false,\"codesigning_flags\":570522385,"
            "\"cs_validation_category\":";
        line() += platform ? "1" : "10";
        line() += ",\"signing_id\":\"com.example.";
        line() += name;
        line() += platform ? "\",\"team_id\":null" : "\",\"team_id\":\"EXAMPLE123\"";
        char hash[41];
        std::snprintf(hash, sizeof hash, "%016llX%016llX%08llX",
                      static_cast<unsigned long long>(extra_.next()),
                      static_cast<unsigned long long>(extra_.next()),
                      static_cast<unsigned long long>(extra_.below(1ULL << 32)));
        line() += ",\"cdhash\":\"";
        line() += hash;
        line() += "\",\"start_time\":\"2025-12-06T05:46:40.617886Z\",\"tty\":null,\"executable\":";
        fileObject(p.path);
        line() += "}";
    }

    Writer w_;
    Random extra_;
    std::uint64_t mach_ = 95933214938;
    std::uint64_t seq_ = 0;
    bool arrayTokens_ = false;
    std::size_t cutAt_ = 0;
};

bool parseNumber(const char* text, long long& out) {
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    long long lines = -1, seed = 1, badPerMille = 0, deep = 0;
    bool esloggerLines = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        long long* target = nullptr;
        if (arg == "--eslogger") {
            esloggerLines = true;
            continue;
        }
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
            std::fprintf(stderr,
                         "usage: korvantis-genlog LINES [--seed N] [--bad-per-mille N] [--deep N] "
                         "[--eslogger]\n");
            return 2;
        }
        ++i;
    }
    if (lines < 0) {
        std::fprintf(stderr,
                     "usage: korvantis-genlog LINES [--seed N] [--bad-per-mille N] [--deep N] "
                     "[--eslogger]\n");
        return 2;
    }
    static char outBuffer[1 << 20];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    Random random(static_cast<std::uint64_t>(seed));
    NativeFormat native(random);
    EsloggerFormat eslogger(random, static_cast<std::uint64_t>(seed));
    LogFormat& out = esloggerLines ? static_cast<LogFormat&>(eslogger) : native;
    std::vector<Live> live{{1, 0, "/sbin/launchd"}};
    std::int64_t nextPid = 100;
    long long emitted = 0;

    std::int64_t ppid = 1;
    static std::string chainPaths[10];
    for (long long i = 0; i < deep; ++i) {
        const std::int64_t pid = 5000000 + i;
        chainPaths[i % 10] = "/usr/bin/chain" + std::to_string(i % 10);
        out.exec(Live{ppid, 0, chainPaths[i % 10]}, pid, chainPaths[i % 10]);
        ppid = pid;
        ++emitted;
    }

    while (emitted < lines) {
        ++emitted;
        if (badPerMille > 0 && static_cast<long long>(random.below(1000)) < badPerMille) {
            out.bad(live.front(), random.below(countOf(kBad)));
            continue;
        }
        const std::uint64_t r = random.below(100);
        if (r < 18) {  // a live process forks, the child execs
            const Live parent = live[random.below(live.size())];
            const std::int64_t child = nextPid;
            nextPid += random.between(1, 7);
            out.fork(parent, child);
            if (emitted < lines) {
                ++emitted;
                const std::string_view path = kBinaries[random.below(countOf(kBinaries))];
                out.exec(parent, child, path);
                live.push_back(Live{child, parent.pid, path});
                if (live.size() > 400) {
                    live.erase(live.begin() + 1 + static_cast<long>(random.below(live.size() - 1)));
                }
            }
        } else if (r < 95) {
            const Live p = live[random.below(live.size())];
            const std::size_t event = random.below(countOf(kFileEvents));
            const std::string_view dir = kDirs[random.below(countOf(kDirs))];
            std::string name = "file" + std::to_string(random.below(5000)) + ".";
            name += kExtensions[random.below(countOf(kExtensions))];
            out.file(p, event, dir, name);
        } else {
            const Live p = live[random.below(live.size())];
            out.other(p, random.below(countOf(kOtherEvents)));
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
