// STUB: replaced by the ingestion work.
#include "ingest/stream_reader.h"
namespace korvantis {
struct StreamReader::Impl {};
std::unique_ptr<StreamReader> StreamReader::open(const std::string&, std::string_view, std::int64_t) { return nullptr; }
StreamReader::~StreamReader() = default;
std::optional<StreamReader::Line> StreamReader::nextLine() { return std::nullopt; }
void StreamReader::close() {}
bool StreamReader::isOpen() const { return false; }
bool StreamReader::atEof() const { return true; }
std::string StreamReader::toValidUtf8(std::string_view b) { return std::string(b); }
bool StreamReader::isValidUtf8(std::string_view) { return true; }
}  // namespace korvantis
