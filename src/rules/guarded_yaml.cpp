#include "rules/guarded_yaml.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

extern char** environ;

namespace korvantis {

namespace {

// The child may spend one second of processor time. A busy machine that
// leaves it little of the processor must not turn a good file away, so its
// wall time is bounded far more loosely: only against a child that hangs
// without running (a forked child can wait forever on a lock another thread
// held at the fork), and the parent waits a little longer than that.
constexpr rlim_t kMostCpuSeconds = 1;
constexpr unsigned kMostWallSeconds = 5;
constexpr auto kLongestWait = std::chrono::seconds(kMostWallSeconds + 1);
constexpr std::size_t kMostBytes = std::size_t{64} << 20;
// Nodes are sent depth first; a checked document nests 64 levels at most.
constexpr int kDeepest = 80;

// --- The child's side: documents to bytes ---

void putText(std::string& out, std::string_view text) {
    const auto n = static_cast<std::uint32_t>(text.size());
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
    out.append(text);
}

// False when the node grows the output beyond kMostBytes.
bool putNode(std::string& out, const YAML::Node& node) {
    if (out.size() > kMostBytes) {
        return false;
    }
    if (node.IsMap()) {
        out.push_back('m');
        putText(out, node.Tag());
        const auto n = static_cast<std::uint32_t>(node.size());
        out.append(reinterpret_cast<const char*>(&n), sizeof n);
        for (const auto& pair : node) {
            if (!putNode(out, pair.first) || !putNode(out, pair.second)) {
                return false;
            }
        }
    } else if (node.IsSequence()) {
        out.push_back('s');
        putText(out, node.Tag());
        const auto n = static_cast<std::uint32_t>(node.size());
        out.append(reinterpret_cast<const char*>(&n), sizeof n);
        for (const YAML::Node& item : node) {
            if (!putNode(out, item)) {
                return false;
            }
        }
    } else if (node.IsScalar()) {
        out.push_back('v');
        putText(out, node.Tag());
        putText(out, node.Scalar());
    } else {
        out.push_back('n');
        putText(out, node.Tag());
    }
    return true;
}

std::string childAnswer(std::string_view text, const YamlDocumentCheck& check) {
    std::vector<YAML::Node> roots;
    try {
        roots = YAML::LoadAll(std::string(text));
    } catch (const std::exception& e) {
        return std::string("E") + "not valid YAML: " + e.what();
    }
    std::string out = "O";
    for (const YAML::Node& root : roots) {
        const std::string unusable = check(root);
        if (unusable.starts_with('!')) {  // the whole file is unusable
            return "E" + unusable.substr(1);
        }
        const std::size_t at = out.size();
        out.push_back('T');
        if (unusable.empty() && putNode(out, root)) {
            continue;
        }
        out.resize(at);
        out.push_back('U');
        putText(out, unusable.empty() ? "too large: its aliases expand beyond what a rule can hold"
                                      : unusable);
    }
    return out;
}

long dataKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (status != nullptr && kib < 0 && std::fgets(line, sizeof line, status) != nullptr) {
        std::sscanf(line, "VmData: %ld kB", &kib);
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kib;
}

// --- The parent's side: bytes to nodes ---

class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    bool text(std::string& out) {
        std::uint32_t n = 0;
        if (bytes_.size() - at_ < sizeof n) {
            return false;
        }
        std::memcpy(&n, bytes_.data() + at_, sizeof n);
        at_ += sizeof n;
        if (bytes_.size() - at_ < n) {
            return false;
        }
        out.assign(bytes_.substr(at_, n));
        at_ += n;
        return true;
    }
    bool count(std::uint32_t& n) {
        if (bytes_.size() - at_ < sizeof n) {
            return false;
        }
        std::memcpy(&n, bytes_.data() + at_, sizeof n);
        at_ += sizeof n;
        return true;
    }
    bool byte(char& c) {
        if (at_ >= bytes_.size()) {
            return false;
        }
        c = bytes_[at_++];
        return true;
    }
    bool done() const { return at_ == bytes_.size(); }

    bool node(YAML::Node& out, int depth) {
        char kind = 0;
        std::string tag;
        if (depth > kDeepest || !byte(kind) || !text(tag)) {
            return false;
        }
        std::uint32_t n = 0;
        switch (kind) {
            case 'm':
                out = YAML::Node(YAML::NodeType::Map);
                if (!count(n)) {
                    return false;
                }
                for (std::uint32_t i = 0; i < n; ++i) {
                    YAML::Node key, value;
                    if (!node(key, depth + 1) || !node(value, depth + 1)) {
                        return false;
                    }
                    out.force_insert(key, value);
                }
                break;
            case 's':
                out = YAML::Node(YAML::NodeType::Sequence);
                if (!count(n)) {
                    return false;
                }
                for (std::uint32_t i = 0; i < n; ++i) {
                    YAML::Node item;
                    if (!node(item, depth + 1)) {
                        return false;
                    }
                    out.push_back(item);
                }
                break;
            case 'v': {
                std::string scalar;
                if (!text(scalar)) {
                    return false;
                }
                out = YAML::Node(scalar);
                break;
            }
            case 'n':
                out = YAML::Node(YAML::NodeType::Null);
                break;
            default:
                return false;
        }
        out.SetTag(tag);
        return true;
    }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The child's bounds: `heldKiB` is what it holds before parsing.
void boundChild(long heldKiB) {
    if (heldKiB > 0) {
        const rlim_t limit = static_cast<rlim_t>(heldKiB) * 1024 + kMostBytes;
        struct rlimit data {
            limit, limit
        };
        ::setrlimit(RLIMIT_DATA, &data);
    }
    struct rlimit cpu {
        kMostCpuSeconds, kMostCpuSeconds + 1
    };
    ::setrlimit(RLIMIT_CPU, &cpu);
    ::alarm(kMostWallSeconds);
}

std::string& childProgram() {
    static std::string program;
    return program;
}

// Starts the child program reading `text` on its standard input and writing
// to `out`; -1 and errno when it cannot.
pid_t spawnChild(std::string_view text, int out) {
    const int in = ::memfd_create("rule-yaml", MFD_CLOEXEC);
    if (in < 0) {
        return -1;
    }
    if (!writeAll(in, text) || ::lseek(in, 0, SEEK_SET) != 0) {
        const int saved = errno;
        ::close(in);
        errno = saved;
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    std::string argument = kYamlChildArgument;
    char* argv[] = {childProgram().data(), argument.data(), nullptr};
    pid_t child = -1;
    const int failed =
        ::posix_spawn(&child, childProgram().c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in);
    if (failed != 0) {
        errno = failed;
        return -1;
    }
    return child;
}

}  // namespace

void setYamlChildProgram(std::string path) {
    childProgram() = std::move(path);
}

int answerYamlGuarded(const YamlDocumentCheck& check) {
    boundChild(dataKiB());
    std::string text;
    char buffer[1 << 16];
    while (true) {
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return 1;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::string answer;
    try {
        answer = childAnswer(text, check);
    } catch (...) {
        return 1;  // out of memory
    }
    return writeAll(1, answer) ? 0 : 1;
}

bool parseYamlGuarded(std::string_view text, const YamlDocumentCheck& check,
                      std::vector<GuardedDocument>& out, std::string& error) {
    const long heldKiB = dataKiB();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    const pid_t child = childProgram().empty() ? ::fork() : spawnChild(text, fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    if (child == 0) {
        ::close(fds[0]);
        boundChild(heldKiB);
        std::string answer;
        try {
            answer = childAnswer(text, check);
        } catch (...) {
            ::_exit(1);  // out of memory
        }
        ::_exit(writeAll(fds[1], answer) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    bool ended = false;
    char buffer[1 << 16];
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        struct pollfd p {
            fds[0], POLLIN, 0
        };
        if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) {
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            answer.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            ended = true;
        } else if (errno != EINTR && errno != EAGAIN) {
            break;
        }
    }
    ::close(fds[0]);
    if (!ended) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || answer.empty()) {
        error = "not valid YAML: reading it took more than 1 s or 64 MiB";
        return false;
    }
    if (answer[0] == 'E') {
        error = answer.substr(1);
        return false;
    }
    Reader reader(std::string_view(answer).substr(1));
    while (!reader.done()) {
        char kind = 0;
        GuardedDocument document;
        if (!reader.byte(kind) ||
            (kind == 'U' ? !reader.text(document.unusable) : !reader.node(document.root, 0))) {
            error = "not valid YAML: its documents could not be read back";
            return false;
        }
        out.push_back(std::move(document));
    }
    return true;
}

}  // namespace korvantis
