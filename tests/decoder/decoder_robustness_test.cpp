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
    for (auto [name, codec] : {std::pair<const char*, uint8_t>{"h264_64x48_two_slices.h264", kCodecH264}, {"hevc_64x48.h265", kCodecH265}}) {
        SCOPED_TRACE(name);
        std::vector<std::vector<uint8_t>> units = FixtureAccessUnits(name, codec);
        SimulatedVideoPlatform simulated;
        LogCapture log;
        DXVA2VideoDecoder decoder([](size_t, size_t, float, float) {}, [](int) {}, simulated);
        ASSERT_EQ(decoder.Init(), 1);
        std::unique_ptr<VideoFrame> first = SizedFrame(codec, 64, 48, units[0]);
        ASSERT_GT(decoder.Decode(first), 0);
        std::mt19937 random(12345);
        for (int round = 0; round < 600; ++round) {
            const std::vector<uint8_t>& unit = units[round % units.size()];
            std::vector<uint8_t> damaged(unit.begin(), unit.begin() + static_cast<long>(round < 300 ? (round * 7) % (unit.size() + 1) : unit.size()));
            for (int flip = 0; round >= 300 && flip < 1 + round % 4; ++flip)
                damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            std::unique_ptr<VideoFrame> frame = UnsizedFrame(codec, damaged);
            int64_t result = decoder.Decode(frame);
            EXPECT_TRUE(result >= 0 || result == -3) << result;
        }
        // The parameter sets of the IDR access unit put the parser right again.
        for (size_t index = 0; index < units.size(); ++index) {
            std::unique_ptr<VideoFrame> frame = UnsizedFrame(codec, units[index]);
            EXPECT_GT(decoder.Decode(frame), 0) << index;
        }
    }
}

}  // namespace
