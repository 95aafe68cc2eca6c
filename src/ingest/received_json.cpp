// STUB: replaced by the ingestion work.
#include "ingest/received_json.h"
namespace korvantis {
struct LineDecoder::Impl {};
LineDecoder::LineDecoder() : impl_(std::make_unique<Impl>()) {}
LineDecoder::~LineDecoder() = default;
std::optional<ReceivedJsonView> LineDecoder::decode(std::string_view) { return std::nullopt; }
std::optional<ReceivedJsonView> LineDecoder::decodePadded(const char*, std::size_t) { return std::nullopt; }
ReceivedJson toOwned(const ReceivedJsonView&) { return {}; }
std::optional<ReceivedJson> decodeReceivedJson(std::string_view) { return std::nullopt; }
std::string recordText(const ReceivedJson&) { return {}; }
std::string recordText(const ReceivedJsonView&) { return {}; }
}  // namespace korvantis
