#pragma once
// Compressed copies of a log, made with zlib and zstd as gzip and zstd make
// them: one member or frame, or a new one every `pieceBytes` of text (as
// concatenated or parallel compressors do).

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace korvantis::testsupport {

// The bytes of `text` as gzip members.
inline std::string gzipped(std::string_view text, int level = 6, std::size_t pieceBytes = 0) {
    std::string out;
    std::size_t at = 0;
    do {
        const std::size_t size =
            pieceBytes == 0 ? text.size() - at : std::min(pieceBytes, text.size() - at);
        z_stream s{};
        deflateInit2(&s, level, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
        std::string member(deflateBound(&s, size) + 64, '\0');
        s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data() + at));
        s.avail_in = static_cast<uInt>(size);
        s.next_out = reinterpret_cast<Bytef*>(member.data());
        s.avail_out = static_cast<uInt>(member.size());
        deflate(&s, Z_FINISH);
        member.resize(s.total_out);
        deflateEnd(&s);
        out += member;
        at += size;
    } while (at < text.size());
    return out;
}

// The bytes of `text` as zstd frames.
inline std::string zstdCompressed(std::string_view text, int level = 3,
                                  std::size_t pieceBytes = 0) {
    std::string out;
    std::size_t at = 0;
    do {
        const std::size_t size =
            pieceBytes == 0 ? text.size() - at : std::min(pieceBytes, text.size() - at);
        std::string frame(ZSTD_compressBound(size), '\0');
        frame.resize(ZSTD_compress(frame.data(), frame.size(), text.data() + at, size, level));
        out += frame;
        at += size;
    } while (at < text.size());
    return out;
}

// A zstd skippable frame holding `payload`.
inline std::string zstdSkippableFrame(std::string_view payload, unsigned variant = 0) {
    std::string out;
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
        }
    };
    le32(0x184D2A50u + (variant & 0xf));
    le32(static_cast<std::uint32_t>(payload.size()));
    out += payload;
    return out;
}

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace korvantis::testsupport
