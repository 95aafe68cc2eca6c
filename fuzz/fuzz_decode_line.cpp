// Decoding one line (a record or an eslogger message): the reusing decoder,
// its in-place variant and the one-off helper must agree with each other and
// with the reference, and a trailing carriage return changes nothing.

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "reference_decoder.h"
#include "support/owned_record.h"

using namespace korvantis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line = fuzz::asText(data, size);
    static LineDecoder decoder;

    std::optional<ReceivedJson> viaView;
    if (auto view = decoder.decode(line)) {
        viaView = toOwned(*view);
        FUZZ_CHECK(recordText(*view) == recordText(*viaView));
    }
    const std::optional<ReceivedJson> oneOff = decodeReceivedJson(line);
    FUZZ_CHECK(viaView == oneOff);
    // A message kept for its text alone brings nothing to file.
    if (oneOff && oneOff->storedOnly) {
        FUZZ_CHECK(!oneOff->process && !oneOff->fileOld && !oneOff->file &&
                   oneOff->event.starts_with("ES_EVENT_TYPE_NOTIFY_"));
    }

    // The rules, read straight.
    const fuzz::ReferenceDecode reference = fuzz::referenceDecode(line);
    if (reference.verdict == fuzz::Verdict::accept) {
        FUZZ_CHECK(oneOff, "a line the rules accept is refused");
        FUZZ_CHECK(*oneOff == reference.record, "decoded as %s, the rules give %s",
                   recordText(*oneOff).c_str(), recordText(reference.record).c_str());
    } else if (reference.verdict == fuzz::Verdict::refuse) {
        FUZZ_CHECK(!oneOff, "a line the rules refuse is accepted as %s",
                   recordText(*oneOff).c_str());
    }

    // In place, with hostile bytes in the padding.
    std::string padded(line);
    padded.append(LineDecoder::kPadding, '"');
    const auto inPlace = decoder.decodePadded(padded.data(), line.size());
    FUZZ_CHECK(inPlace.has_value() == viaView.has_value());
    if (inPlace) {
        FUZZ_CHECK(toOwned(*inPlace) == *viaView);
    }

    // A CRLF file leaves a carriage return at the end of every line.
    const auto withCr = decodeReceivedJson(std::string(line) + "\r");
    FUZZ_CHECK(withCr == oneOff);
    return 0;
}
