#pragma once

#include <functional>
#include <string>
#include <thread>

namespace korvantis {

// Tells when followed logs may have changed: on the kernel's word (inotify)
// that a watched file was written, truncated, moved or removed, and every
// kFallback besides (for file systems that do not tell, and for replaced
// paths). Between those its thread sleeps: an idle followed log costs no
// CPU. `changed` runs on the watch's own thread.
class LogWatch {
  public:
    static constexpr int kFallbackMs = 1000;

    explicit LogWatch(std::function<void()> changed);
    // Stops and waits for the thread.
    ~LogWatch();
    LogWatch(const LogWatch&) = delete;
    LogWatch& operator=(const LogWatch&) = delete;

    // Watches the file `path` names now; the fallback covers it when that
    // fails. Any thread.
    void watch(const std::string& path);

  private:
    void run();

    std::function<void()> changed_;
    int inotify_ = -1;
    int stop_ = -1;  // an eventfd written to stop the thread
    std::thread thread_;
};

}  // namespace korvantis
