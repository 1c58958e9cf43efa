#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decoder/dxva2_video_decoder.h"
#include "decoder/platform/simulated_video_device.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

// Cut and damaged access units must fail cleanly (-3) or pass, never crash
// or touch memory outside the buffers, and leave the decoder usable.
TEST(DecoderRobustness, DamagedAccessUnitsFailCleanly)
{
    struct Stream {
        const char* name;
        uint8_t codec;
    };
    for (const Stream& stream : {Stream{"h264_64x48_two_slices.h264", 0}, Stream{"hevc_64x48.h265", 1}}) {
        SCOPED_TRACE(stream.name);
        std::vector<std::vector<uint8_t>> units = FixtureAccessUnits(stream.name, stream.codec);
        SimulatedVideoPlatform simulated;
        LogCapture log;
        DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [](int) {}, simulated);
        ASSERT_EQ(decoder.Init(), 1);

        std::vector<std::vector<uint8_t>> damaged;
        for (const std::vector<uint8_t>& unit : units) {
            for (size_t length = 0; length <= unit.size(); length += 7)
                damaged.emplace_back(unit.begin(), unit.begin() + length);
        }
        std::mt19937 random(12345);
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> unit = units[round % units.size()];
            for (int flip = 0; flip < 1 + round % 4; ++flip)
                unit[random() % unit.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            damaged.push_back(std::move(unit));
        }

        std::unique_ptr<VideoFrame> first = SizedFrame(stream.codec, 64, 48, units[0]);
        ASSERT_GT(decoder.Decode(first), 0);
        for (const std::vector<uint8_t>& unit : damaged) {
            std::unique_ptr<VideoFrame> frame = UnsizedFrame(stream.codec, unit);
            int64_t result = decoder.Decode(frame);
            EXPECT_TRUE(result >= 0 || result == -3) << result;
        }
        // The parameter sets of the IDR access unit put the parser right again.
        for (size_t index = 0; index < units.size(); ++index) {
            std::unique_ptr<VideoFrame> frame = UnsizedFrame(stream.codec, units[index]);
            EXPECT_GT(decoder.Decode(frame), 0) << index;
        }
    }
}

}  // namespace
