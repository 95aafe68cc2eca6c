#include "input/stream_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "decode/utf8_text.h"
#include "input/cache_file.h"
#include "input/raw_input.h"
#include "input/spool_text.h"
#include "input/text_source.h"

namespace korvantis {

namespace {

// The machine's memory; 0 when it cannot be told.
std::uint64_t memoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
               : 0;
}

}  // namespace

struct StreamReader::Impl {
    int fd = -1;
    std::uint64_t sizeAtOpen = 0;
    std::unique_ptr<RawInput> input;
    std::unique_ptr<TextSource> source;  // the text of input
    bool compressed = false;
    std::shared_ptr<SpoolText> spool;  // of a pipe
    std::string delimiter;
    std::size_t chunkSize = 0;
    // Unreturned bytes are buf[start, end). Returned lines are not cut off
    // the front one by one (that would move the rest of the buffer for every
    // line); the bytes are moved down only when a read needs the room.
    std::unique_ptr<char[]> buf;
    std::size_t capacity = 0;  // usable bytes; kPadding more are allocated
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t scanned = 0;  // bytes from start known to hold no delimiter
    bool atEof = false;
    bool holdPartial = false;
    std::uint64_t textStart = 0;

    void reserve(std::size_t usable) {
        auto bigger = std::make_unique<char[]>(usable + kPadding);  // zeroed: padding is readable
        std::memcpy(bigger.get(), buf.get() + start, end - start);
        buf = std::move(bigger);
        capacity = usable;
        end -= start;
        start = 0;
    }

    // Makes room for one more chunk after `end`.
    void makeRoom() {
        if (capacity - end >= chunkSize) {
            return;
        }
        const std::size_t pending = end - start;
        if (pending + chunkSize <= capacity) {
            std::memmove(buf.get(), buf.get() + start, pending);
            start = 0;
            end = pending;
        } else {
            // A long line: double, so assembling it stays linear in its length.
            reserve(std::max(capacity * 2, pending + chunkSize));
        }
    }

    // Reads one chunk; false at end of file. A read error ends the input too.
    bool readChunk() {
        makeRoom();
        const std::size_t n = source->read(buf.get() + end, chunkSize);
        end += n;
        return n > 0;
    }

    // At the end of the input: the unreturned bytes are the last line,
    // unless decoding failed inside it.
    bool lastLinePending() const { return end > start && !source->failedAt() && !holdPartial; }

    // Position of the first delimiter in the unreturned bytes, or npos.
    std::size_t findDelimiter() {
        const char* base = buf.get() + start;
        const std::size_t pending = end - start;
        if (delimiter.size() == 1) {
            const void* hit = std::memchr(base + scanned, delimiter[0], pending - scanned);
            if (hit != nullptr) {
                return static_cast<std::size_t>(static_cast<const char*>(hit) - base);
            }
            scanned = pending;
            return std::string_view::npos;
        }
        const std::string_view hay(base, pending);
        const std::size_t from = scanned >= delimiter.size() ? scanned - delimiter.size() + 1 : 0;
        const std::size_t hit = hay.find(delimiter, from);
        if (hit == std::string_view::npos) {
            scanned = pending;
        }
        return hit;
    }

    // Length of the unreturned bytes up to the end of their last delimiter;
    // 0 when they hold none.
    std::size_t wholeLines() {
        const char* base = buf.get() + start;
        const std::size_t pending = end - start;
        if (delimiter.size() == 1) {
            const void* hit = ::memrchr(base + scanned, delimiter[0], pending - scanned);
            if (hit == nullptr) {
                scanned = pending;
                return 0;
            }
            return static_cast<std::size_t>(static_cast<const char*>(hit) - base) + 1;
        }
        // Searched from the front: delimiters such as "--" may overlap.
        const std::string_view hay(base, pending);
        std::size_t from = scanned >= delimiter.size() ? scanned - delimiter.size() + 1 : 0;
        std::size_t cut = 0;
        for (std::size_t hit; (hit = hay.find(delimiter, from)) != std::string_view::npos;) {
            cut = hit + delimiter.size();
            from = cut;
        }
        if (cut == 0) {
            scanned = pending;
        }
        return cut;
    }

    std::string_view take(std::size_t length, std::size_t consumed) {
        const std::string_view text(buf.get() + start, length);
        start += consumed;
        scanned = 0;
        return text;
    }
};

std::unique_ptr<StreamReader> StreamReader::open(const std::string& path,
                                                 std::string_view delimiter,
                                                 std::int64_t chunkSize) {
    if (delimiter.empty() || chunkSize <= 0) {
        return nullptr;
    }
    // O_NONBLOCK so that opening a FIFO does not wait for a writer; anything
    // but a regular file (directory, FIFO, device, socket) is refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return over(fd, static_cast<std::uint64_t>(st.st_size), delimiter, chunkSize, nullptr);
}

std::unique_ptr<StreamReader> StreamReader::openLog(const std::string& path,
                                                    std::string_view delimiter,
                                                    std::int64_t chunkSize,
                                                    const std::atomic<bool>* stop,
                                                    std::string* whyNot) {
    if (delimiter.empty() || chunkSize <= 0) {
        return nullptr;
    }
    struct stat st;
    int fd = -1;
    if (path == kStandardInput) {
        fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    } else if (::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        // Not waiting in open() for a writer: the reads wait, and can stop.
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } else {
        return open(path, delimiter, chunkSize);
    }
    if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    if (S_ISREG(st.st_mode)) {  // standard input from a file
        // Read from where the descriptor stands (the shell may have read a
        // header line already): the lines' offsets count from the file's
        // start, so that they are read again where they are.
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        return over(fd, static_cast<std::uint64_t>(st.st_size), delimiter, chunkSize, nullptr,
                    at > 0 ? at : -1);
    }
    static const std::atomic<bool> kNever{false};
    return over(fd, 0, delimiter, chunkSize, stop != nullptr ? stop : &kNever, -1, whyNot);
}

std::unique_ptr<StreamReader> StreamReader::over(int fd, std::uint64_t size,
                                                 std::string_view delimiter, std::int64_t chunkSize,
                                                 const std::atomic<bool>* spoolStop,
                                                 std::int64_t startAt, std::string* whyNot,
                                                 std::uint64_t endAt) {
    std::unique_ptr<CacheFile> spool;
    if (spoolStop != nullptr && !(spool = CacheFile::create("spool", whyNot))) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<StreamReader> reader(new StreamReader());
    reader->impl_ = std::make_unique<Impl>();
    Impl& d = *reader->impl_;
    d.fd = fd;
    d.sizeAtOpen = size;
    d.delimiter = std::string(delimiter);
    d.chunkSize = static_cast<std::size_t>(chunkSize);
    // Room for one chunk after a pending partial line of up to one chunk.
    d.buf = std::make_unique<char[]>(2 * d.chunkSize + kPadding);
    d.capacity = 2 * d.chunkSize;
    d.input = std::make_unique<RawInput>(fd);
    if (startAt >= 0) {
        d.input->startAt(static_cast<std::uint64_t>(startAt));
        d.input->endAt(endAt);
    }
    if (spool) {
        d.input->spoolTo(spool->fileDescriptor(), spool->path(), spoolStop);
    }
    // Over three quarters of the memory, a log cannot stay in the page cache
    // beside what its load and the rest of the machine need; a smaller one
    // is kept there for the next load.
    if (const std::uint64_t memory = memoryBytes(); memory != 0 && size > memory / 4 * 3) {
        d.input->dropBehind();
    }
    d.compressed = compressionOf(d.input->peek(kCompressionMagicSize)) != Compression::none;
    // A compressed log's text is counted from its own start.
    d.textStart = startAt > 0 && !d.compressed ? static_cast<std::uint64_t>(startAt) : 0;
    d.source = TextSource::open(*d.input);
    if (spool) {
        d.spool = std::make_shared<SpoolText>(std::move(spool), d.source->logText());
    }
    return reader;
}

std::unique_ptr<StreamReader> StreamReader::resume(int fd, std::uint64_t offset,
                                                   std::string_view delimiter,
                                                   std::int64_t chunkSize, std::uint64_t end) {
    if (delimiter.empty() || chunkSize <= 0) {
        return nullptr;
    }
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    struct stat st;
    if (own < 0 || ::fstat(own, &st) != 0) {
        if (own >= 0) {
            ::close(own);
        }
        return nullptr;
    }
    auto reader = over(own, static_cast<std::uint64_t>(st.st_size), delimiter, chunkSize, nullptr,
                       static_cast<std::int64_t>(offset), nullptr, end);
    reader->holdPartialLine();
    return reader;
}

void StreamReader::holdPartialLine(bool hold) {
    impl_->holdPartial = hold;
}

bool StreamReader::live() const {
    return impl_->spool != nullptr;
}

StreamReader::~StreamReader() {
    close();
}

std::optional<std::string_view> StreamReader::nextLines() {
    Impl& d = *impl_;
    while (!d.atEof) {
        const std::size_t cut = d.wholeLines();
        if (cut != 0) {
            return d.take(cut, cut);
        }
        if (d.fd < 0 || !d.readChunk()) {
            d.atEof = true;
            if (d.lastLinePending()) {
                return d.take(d.end - d.start, d.end - d.start);
            }
        }
    }
    return std::nullopt;
}

std::size_t StreamReader::readText(char* into, std::size_t size) {
    Impl& d = *impl_;
    // Bytes read ahead by nextLine() or nextLines() come first.
    if (d.end > d.start) {
        const std::size_t n = std::min(size, d.end - d.start);
        std::memcpy(into, d.buf.get() + d.start, n);
        d.start += n;
        d.scanned = 0;
        return n;
    }
    if (d.atEof || d.fd < 0 || size == 0) {
        return 0;
    }
    const std::size_t n = d.source->read(into, size);
    d.atEof = n == 0;
    return n;
}

bool StreamReader::holdsPartialLine() const {
    return impl_->holdPartial;
}

std::optional<StreamReader::Line> StreamReader::nextLine() {
    Impl& d = *impl_;
    auto line = [](std::string_view text) { return Line{text, isValidUtf8(text)}; };
    while (!d.atEof) {
        const std::size_t hit = d.findDelimiter();
        if (hit != std::string_view::npos) {
            return line(d.take(hit, hit + d.delimiter.size()));
        }
        if (d.fd < 0 || !d.readChunk()) {
            d.atEof = true;
            if (d.lastLinePending()) {
                return line(d.take(d.end - d.start, d.end - d.start));
            }
        }
    }
    return std::nullopt;
}

void StreamReader::close() {
    if (impl_ && impl_->fd >= 0) {
        ::close(impl_->fd);
        impl_->fd = -1;
    }
}

int StreamReader::fileDescriptor() const {
    return impl_ && impl_->fd >= 0 ? impl_->input->fileDescriptor() : -1;
}

std::uint64_t StreamReader::sizeAtOpen() const {
    return impl_ ? impl_->sizeAtOpen : 0;
}

std::uint64_t StreamReader::textStart() const {
    return impl_->textStart;
}

bool StreamReader::atEof() const {
    return impl_->atEof;
}

bool StreamReader::compressed() const {
    return impl_->compressed;
}

std::shared_ptr<const LogText> StreamReader::logText() const {
    if (impl_->spool) {
        return impl_->spool;
    }
    return impl_->source->logText();
}

std::uint64_t StreamReader::fileBytesRead() const {
    return impl_->input->taken();
}

std::string StreamReader::notice() const {
    return impl_->source->notice();
}

std::string StreamReader::stopReason() const {
    return impl_->input->spoolFailure();
}

std::optional<std::string> StreamReader::failure() const {
    if (std::string stopped = stopReason(); !stopped.empty()) {
        return stopped;
    }
    if (const auto at = impl_->source->failedAt()) {
        const std::string& text = impl_->source->failureText();
        return text.empty() ? decompressionFailureText(*at) : text;
    }
    return std::nullopt;
}

}  // namespace korvantis
