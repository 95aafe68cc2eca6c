#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "load/decode_pipeline.h"

namespace korvantis::detail {
namespace {

// How a load's three stages end early: the failing stage's error reaches the
// filing side (even past a batch that is ready), and every stage's next call
// gives nothing instead of waiting, a waiting reader included.
TEST(DecodePipeline, FailuresAndStopEndEveryStage) {
    enum class End { readingFails, decodingFails, filingStops };
    const struct {
        End end;
        const char* error;  // what the filing side is thrown; null: nothing
    } cases[] = {
        {End::readingFails, "read"},
        {End::decodingFails, "decode"},
        {End::filingStops, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.end));
        DecodePipeline pipeline;
        std::vector<DecodePipeline::Batch> held;
        DecodePipeline::Batch batch = pipeline.takeEmpty();
        ASSERT_TRUE(batch);
        batch->text.append("{}\n");
        pipeline.pushRead(std::move(batch));
        DecodePipeline::Batch decoded = pipeline.takeRead();
        ASSERT_TRUE(decoded);
        // Every other batch is in the reader's hands: its next take waits.
        for (std::size_t i = 1; i < DecodePipeline::kInFlight; ++i) {
            held.push_back(pipeline.takeEmpty());
        }
        DecodePipeline::Batch waited = std::make_unique<LineBatch>();
        std::thread reader([&] { waited = pipeline.takeEmpty(); });
        switch (c.end) {
            case End::readingFails:
                pipeline.pushDecoded(std::move(decoded));
                pipeline.finishReading(std::make_exception_ptr(std::runtime_error(c.error)));
                break;
            case End::decodingFails:
                pipeline.decodingFailed(std::make_exception_ptr(std::runtime_error(c.error)));
                break;
            case End::filingStops:
                pipeline.pushDecoded(std::move(decoded));
                pipeline.stop();
                break;
        }
        if (c.error != nullptr) {
            try {
                pipeline.takeDecoded();
                ADD_FAILURE() << "no error";
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(std::string(e.what()), c.error);
            }
            pipeline.stop();  // what the filing side does on an error
        } else {
            EXPECT_FALSE(pipeline.takeDecoded());
        }
        reader.join();
        EXPECT_FALSE(waited);
        EXPECT_FALSE(pipeline.takeEmpty());
        EXPECT_FALSE(pipeline.takeRead());
    }
}

}  // namespace
}  // namespace korvantis::detail
