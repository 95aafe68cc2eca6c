#pragma once

// Small helpers shared by the fuzz targets.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// A property that must hold for every input: on failure the fuzzer keeps the
// input as a crash.
#define FUZZ_CHECK(cond, ...)                                                             \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::fprintf(stderr, "" __VA_ARGS__);                                         \
            std::fprintf(stderr, "\n");                                                   \
            std::abort();                                                                 \
        }                                                                                 \
    } while (false)

namespace korvantis::fuzz {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// One scratch file per fuzzing process, rewritten for every input (the
// reader only takes regular files). Kept in memory-backed /dev/shm when there
// is one.
class ScratchFile {
  public:
    static ScratchFile& instance() {
        static ScratchFile file;
        return file;
    }
    const std::string& path() const { return path_; }

    void write(std::string_view bytes) {
        FUZZ_CHECK(::ftruncate(fd_, 0) == 0);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            FUZZ_CHECK(n > 0);
            done += static_cast<std::size_t>(n);
        }
    }

  private:
    ScratchFile() {
        const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(dir) + "/korvantis-fuzz-XXXXXX";
        fd_ = ::mkstemp(pattern.data());
        FUZZ_CHECK(fd_ >= 0, "cannot make a scratch file in %s", dir);
        path_ = pattern;
        std::atexit([] { ::unlink(instance().path_.c_str()); });
    }
    int fd_ = -1;
    std::string path_;
};

}  // namespace korvantis::fuzz
