#include "rules/guarded_yaml.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
constexpr time_t kMostCpuSeconds = 1;
constexpr unsigned kMostWallSeconds = 5;
constexpr auto kLongestWait = std::chrono::seconds(kMostWallSeconds + 1);
constexpr std::size_t kMostBytes = std::size_t{64} << 20;
// Nodes are sent depth first; a checked document nests 64 levels at most.
constexpr int kDeepestSent = 80;

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
        if (depth > kDeepestSent || !byte(kind) || !text(tag)) {
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
        // A child that is gone must not end this process with SIGPIPE.
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
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

// Exactly `size` bytes; false at the end of the input or on an error.
bool readAll(int fd, char* into, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, into, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        into += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string framed(std::string_view bytes) {
    std::string out;
    out.reserve(sizeof(std::uint32_t) + bytes.size());
    putText(out, bytes);
    return out;
}

// The bounds of one file's parse, counted from what the child has used and
// holds when it starts on it.
void boundChild() {
    if (const long heldKiB = dataKiB(); heldKiB > 0) {
        struct rlimit data {};
        ::getrlimit(RLIMIT_DATA, &data);
        const rlim_t wanted = static_cast<rlim_t>(heldKiB) * 1024 + kMostBytes;
        data.rlim_cur = data.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, data.rlim_max);
        ::setrlimit(RLIMIT_DATA, &data);
    }
    // SIGPROF ends the child once the parse has had its processor time.
    struct itimerval cpu {};
    cpu.it_value.tv_sec = kMostCpuSeconds;
    ::setitimer(ITIMER_PROF, &cpu, nullptr);
    ::alarm(kMostWallSeconds);
}

void unboundChild() {
    struct itimerval none {};
    ::setitimer(ITIMER_PROF, &none, nullptr);
    ::alarm(0);
}

// The child's loop: a framed text in, its framed answer out, until the
// parent closes the connection.
int serveFiles(int in, int out, const YamlDocumentCheck& check) {
    std::string text;
    while (true) {
        std::uint32_t n = 0;
        if (!readAll(in, reinterpret_cast<char*>(&n), sizeof n)) {
            return 0;  // the parent is done
        }
        text.resize(n);
        if (!readAll(in, text.data(), n)) {
            return 1;
        }
        boundChild();
        std::string answer;
        try {
            answer = framed(childAnswer(text, check));
        } catch (...) {
            return 1;  // out of memory
        }
        unboundChild();
        if (!writeAll(out, answer)) {
            return 1;
        }
    }
}

std::string& childProgram() {
    static std::string program;
    return program;
}

// Starts the child program talking through `socket` on its standard input
// and output; -1 and errno when it cannot.
pid_t spawnChild(int socket) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, socket, 0);
    posix_spawn_file_actions_adddup2(&actions, socket, 1);
    std::string argument = kYamlChildArgument;
    char* argv[] = {childProgram().data(), argument.data(), nullptr};
    pid_t child = -1;
    const int failed =
        ::posix_spawn(&child, childProgram().c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        errno = failed;
        return -1;
    }
    return child;
}

// The documents of a child's answer.
bool readAnswer(std::string_view answer, std::vector<GuardedDocument>& out, std::string& error) {
    if (answer.empty()) {
        error = "not valid YAML: its documents could not be read back";
        return false;
    }
    if (answer[0] == 'E') {
        error = answer.substr(1);
        return false;
    }
    Reader reader(answer.substr(1));
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

}  // namespace

void setYamlChildProgram(std::string path) {
    childProgram() = std::move(path);
}

int answerYamlGuarded(const YamlDocumentCheck& check) {
    return serveFiles(0, 1, check);
}

GuardedYamlParser::GuardedYamlParser(YamlDocumentCheck check) : check_(std::move(check)) {}

GuardedYamlParser::~GuardedYamlParser() {
    end();
}

bool GuardedYamlParser::start(std::string& error) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    const pid_t child = childProgram().empty() ? ::fork() : spawnChild(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::_exit(serveFiles(fds[1], fds[1], check_));
    }
    ::close(fds[1]);
    child_ = child;
    socket_ = fds[0];
    return true;
}

void GuardedYamlParser::end() {
    if (child_ < 0) {
        return;
    }
    // Closing its input ends a child that waits; one that does not is stuck.
    ::close(socket_);
    ::kill(child_, SIGKILL);
    int status = 0;
    while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
    child_ = -1;
    socket_ = -1;
    written_ = 0;
    partial_ = 0;
    writeFailed_ = false;
    received_.clear();
}

void GuardedYamlParser::writeSome() {
    while (!writeFailed_ && written_ < requests_.size()) {
        const std::string& request = requests_[written_];
        const ssize_t n = ::send(socket_, request.data() + partial_, request.size() - partial_,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n <= 0) {
            writeFailed_ = true;  // its answers so far can still be read
            return;
        }
        partial_ += static_cast<std::size_t>(n);
        if (partial_ == request.size()) {
            ++written_;
            partial_ = 0;
        }
    }
}

bool GuardedYamlParser::nextAnswer(std::string& answer) {
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    char buffer[1 << 16];
    while (true) {
        std::uint32_t n = 0;
        if (received_.size() >= sizeof n) {
            std::memcpy(&n, received_.data(), sizeof n);
            if (received_.size() - sizeof n >= n) {
                answer.assign(received_, sizeof n, n);
                received_.erase(0, sizeof n + n);
                return true;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return false;
        }
        // Both directions at once: the child may be writing a large answer
        // while a later text waits to be written.
        const bool writing = !writeFailed_ && written_ < requests_.size();
        struct pollfd p {
            socket_, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0
        };
        if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) {
            return false;
        }
        if (writing && (p.revents & POLLOUT) != 0) {
            writeSome();
        }
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t r = ::read(socket_, buffer, sizeof buffer);
        if (r > 0) {
            received_.append(buffer, static_cast<std::size_t>(r));
        } else if (r == 0 || (errno != EINTR && errno != EAGAIN)) {
            return false;  // the child ended: a bound or a crash
        }
    }
}

void GuardedYamlParser::send(std::string_view text) {
    requests_.push_back(framed(text));
    requestBytes_ += requests_.back().size();
    std::string ignored;  // receive() says why a child could not start
    if (child_ >= 0 || start(ignored)) {
        writeSome();
    }
}

bool GuardedYamlParser::wantsMore() const {
    return requests_.size() < 16 && requestBytes_ < (std::size_t{1} << 20);
}

bool GuardedYamlParser::receive(std::vector<GuardedDocument>& out, std::string& error) {
    if (requests_.empty()) {
        error = "not valid YAML: its documents could not be read back";
        return false;
    }
    const bool started = child_ >= 0 || start(error);
    if (started) {
        writeSome();
    }
    std::string answer;
    const bool answered = started && nextAnswer(answer);
    requestBytes_ -= requests_.front().size();
    requests_.pop_front();
    if (!started) {
        return false;
    }
    if (!answered) {
        // The child broke a bound on this text, or could not take it: the
        // texts after it go to a new one.
        end();
        error = "not valid YAML: reading it took more than 1 s or 64 MiB";
        return false;
    }
    --written_;
    return readAnswer(answer, out, error);
}

bool GuardedYamlParser::parse(std::string_view text, std::vector<GuardedDocument>& out,
                              std::string& error) {
    send(text);
    return receive(out, error);
}

bool parseYamlGuarded(std::string_view text, const YamlDocumentCheck& check,
                      std::vector<GuardedDocument>& out, std::string& error) {
    return GuardedYamlParser(check).parse(text, out, error);
}

}  // namespace korvantis
