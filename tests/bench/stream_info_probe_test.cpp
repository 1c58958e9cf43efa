#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/video_frame.h"
#include "support/log_capture.h"

namespace {

// A VideoFrame without a payload store, for calling the probe directly.
class ProbedFrame : public VideoFrame {
public:
    explicit ProbedFrame(uint8_t frameCodec) { codec = frameCodec; }
    int64_t CopyData(uint8_t*, size_t) const override { return 0; }
    size_t DataSize() const override { return 0; }
    bool QueryFlag() const override { return false; }
};

// Start code, the NAL unit, then the start of an (empty) slice so that the
// NAL unit is delimited as in a real access unit.
std::vector<uint8_t> AccessUnitWith(const std::vector<uint8_t>& nal, size_t paddingBefore = 0)
{
    std::vector<uint8_t> bytes;
    if (paddingBefore > 0) {
        // A filler-like NAL unit of the requested size pushes the SPS back.
        bytes = {0x00, 0x00, 0x01};
        bytes.resize(paddingBefore, 0xff);
        bytes[3] = 0x4c;  // H.264 type 12 / H.265 type 38 (filler data)
        bytes[4] = 0x01;
    }
    bytes.insert(bytes.end(), {0x00, 0x00, 0x00, 0x01});
    bytes.insert(bytes.end(), nal.begin(), nal.end());
    bytes.insert(bytes.end(), {0x00, 0x00, 0x01, 0x26, 0x01, 0xaf, 0x00});
    return bytes;
}

// SPS NAL units from real encoder output; the expected values come from
// ffmpeg's trace_headers, not from our parser.
const std::vector<uint8_t> kH264Sps1080At2997 = {  // High-capable, 1920x1088 cropped to 1080, sar 2:1, 60000/1001
    0x67, 0x42, 0xc0, 0x28, 0xda, 0x01, 0xe0, 0x08, 0x9f, 0x97, 0x10, 0x10, 0x00, 0x00, 0x3e, 0x90,
    0x00, 0x0e, 0xa6, 0x00, 0xf1, 0x83, 0x2a};
const std::vector<uint8_t> kH264Sps720At25 = {  // 1280x720, sar 1:1, time_scale 50 / num_units_in_tick 1
    0x67, 0x42, 0xc0, 0x1f, 0xda, 0x01, 0x40, 0x16, 0xec, 0x04, 0x40, 0x00, 0x00, 0x03, 0x00, 0x40,
    0x00, 0x00, 0x0c, 0x83, 0xc6, 0x0c, 0xa8};
const std::vector<uint8_t> kHevcSps1080At5994 = {  // Main, level 123, 1920x1088 window to 1080, idc 14, 60000/1001
    0x42, 0x01, 0x01, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03,
    0x00, 0x7b, 0xa0, 0x03, 0xc0, 0x80, 0x11, 0x07, 0xcb, 0x96, 0x56, 0x54, 0xa4, 0xc2, 0xf0, 0xe6,
    0x80, 0x80, 0x00, 0x01, 0xf4, 0x80, 0x00, 0x75, 0x30, 0x04};

TEST(StreamInfoProbe, ReadsRealEncoderSps)
{
    const struct {
        const char* name;
        uint8_t codec;
        const std::vector<uint8_t>* sps;
        uint32_t profile, level;
        size_t width, height, codedWidth, codedHeight;
        float fps, sar;
    } cases[] = {
        {"h264 1080p 29.97", kCodecH264, &kH264Sps1080At2997, 66, 40, 1920, 1080, 1920, 1088, 29.0f, 2.0f},
        {"h264 720p 25", kCodecH264, &kH264Sps720At25, 66, 31, 1280, 720, 1280, 720, 25.0f, 1.0f},
        {"h265 1080p 59.94", kCodecH265, &kHevcSps1080At5994, 1, 123, 1920, 1080, 1920, 1088, 59.0f, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProbedFrame frame(c.codec);
        std::vector<uint8_t> payload = AccessUnitWith(*c.sps);
        EXPECT_TRUE(frame.ReadStreamInfo(payload.data(), payload.size()));
        EXPECT_TRUE(frame.hasStreamInfo);
        EXPECT_EQ(frame.profile, c.profile);
        EXPECT_EQ(frame.level, c.level);
        EXPECT_EQ(frame.width, c.width);
        EXPECT_EQ(frame.height, c.height);
        EXPECT_EQ(frame.codedWidth, c.codedWidth);
        EXPECT_EQ(frame.codedHeight, c.codedHeight);
        EXPECT_EQ(frame.fps, c.fps);
        EXPECT_EQ(frame.sar, c.sar);
    }
}

// The fields of a hand-made H.265 SPS (Main, level 120, 1920x1088) that the
// probe reads and no encoder at hand would write.
struct HevcSpsFields {
    uint32_t chroma_format_idc = 1;
    uint32_t window[4] = {};      // left, right, top, bottom; all zero: no conformance window
    int32_t aspect_ratio_idc = -1;  // -1: no aspect ratio info
    uint32_t sar_width = 0, sar_height = 0;
    uint32_t num_units_in_tick = 0, time_scale = 0;  // time_scale 0: no timing info
};

class BitWriter {
public:
    void Bits(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (m_Used == 0)
                m_Bytes.push_back(0);
            m_Bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << (7 - m_Used));
            m_Used = (m_Used + 1) % 8;
        }
    }
    void Ue(std::initializer_list<uint32_t> values)
    {
        for (uint32_t value : values) {
            uint32_t length = 0;
            while (((uint64_t{value} + 1) >> length) > 1)
                ++length;
            Bits(0, static_cast<int>(length));
            Bits(value + 1, static_cast<int>(length) + 1);
        }
    }
    // Trailing bits, then the NAL unit: header and payload with emulation prevention.
    std::vector<uint8_t> Nal(std::vector<uint8_t> nal)
    {
        Bits(1, 1);
        if (m_Used != 0)
            Bits(0, 8 - m_Used);
        int zeros = 0;
        for (uint8_t byte : m_Bytes) {
            if (zeros >= 2 && byte <= 3) {
                nal.push_back(0x03);
                zeros = 0;
            }
            nal.push_back(byte);
            zeros = byte == 0 ? zeros + 1 : 0;
        }
        return nal;
    }

private:
    std::vector<uint8_t> m_Bytes;
    int m_Used = 0;
};

std::vector<uint8_t> MakeHevcSps(const HevcSpsFields& f)
{
    BitWriter w;
    w.Bits(0x01, 8);                          // vps id 0, one sub-layer, temporal id nesting
    w.Bits(0x01, 8);                          // profile space 0, Main tier, Main profile
    w.Bits(0x60000000, 32);                   // profile compatibility flags
    w.Bits(0x9, 4);                           // progressive, interlaced, non-packed, frame-only
    w.Bits(0, 32);                            // 43 constraint and reserved bits ...
    w.Bits(0, 12);                            // ... and general_inbld_flag
    w.Bits(120, 8);                           // general_level_idc
    w.Ue({0, f.chroma_format_idc});           // sps id
    if (f.chroma_format_idc == 3)
        w.Bits(0, 1);                         // separate_colour_plane_flag
    w.Ue({1920, 1088});
    bool window = f.window[0] || f.window[1] || f.window[2] || f.window[3];
    w.Bits(window, 1);
    if (window)
        w.Ue({f.window[0], f.window[1], f.window[2], f.window[3]});
    w.Ue({0, 0, 4});                          // bit depths 8, log2_max_pic_order_cnt_lsb 8
    w.Bits(1, 1);                             // sub-layer ordering info present
    w.Ue({1, 0, 0});                          // two pictures buffered, no reordering, no latency limit
    w.Ue({0, 3, 0, 3, 0, 0});                 // coding and transform block sizes and depths
    w.Bits(0, 4);                             // no scaling lists, AMP, SAO or PCM
    w.Ue({0});                                // num_short_term_ref_pic_sets
    w.Bits(0, 3);                             // no long-term pictures, temporal MVP, strong smoothing
    bool aspect = f.aspect_ratio_idc >= 0, timing = f.time_scale != 0;
    w.Bits(aspect || timing, 1);              // vui_parameters_present_flag
    if (aspect || timing) {
        w.Bits(aspect, 1);
        if (aspect) {
            w.Bits(static_cast<uint32_t>(f.aspect_ratio_idc), 8);
            if (f.aspect_ratio_idc == 255)
                w.Bits(f.sar_width << 16 | f.sar_height, 32);
        }
        w.Bits(0, 7);                         // overscan ... default display window: all absent
        w.Bits(timing, 1);
        if (timing) {
            w.Bits(f.num_units_in_tick, 32);
            w.Bits(f.time_scale, 32);
            w.Bits(0, 2);                     // no POC proportionality, no HRD
        }
        w.Bits(0, 1);                         // bitstream_restriction_flag
    }
    w.Bits(0, 1);                             // sps_extension_present_flag
    return w.Nal({0x42, 0x01});
}

TEST(StreamInfoProbe, DerivesHevcSizeRateAndAspectFromTheSps)
{
    const struct {
        const char* name;
        HevcSpsFields fields;
        size_t width, height;
        float fps, sar;
        const char* warning;  // expected warning text, or null
    } cases[] = {
        {"no vui", {}, 1920, 1088, -1.0f, -1.0f, nullptr},
        {"4:2:0 window", {.window = {0, 0, 0, 4}}, 1920, 1080, -1.0f, -1.0f, nullptr},
        {"4:2:2 window", {.chroma_format_idc = 2, .window = {1, 3, 2, 2}}, 1912, 1084, -1.0f, -1.0f, nullptr},
        {"4:4:4 window", {.chroma_format_idc = 3, .window = {4, 4, 1, 1}}, 1912, 1086, -1.0f, -1.0f, nullptr},
        {"monochrome window", {.chroma_format_idc = 0, .window = {8, 0, 0, 8}}, 1912, 1080, -1.0f, -1.0f, nullptr},
        {"59.94 fps", {.num_units_in_tick = 1001, .time_scale = 60000}, 1920, 1088, 59.0f, -1.0f, nullptr},
        {"zero tick", {.num_units_in_tick = 0, .time_scale = 30}, 1920, 1088, -1.0f, -1.0f, nullptr},
        {"aspect idc 3", {.aspect_ratio_idc = 3}, 1920, 1088, -1.0f, 0.0f, nullptr},
        {"aspect idc 16", {.aspect_ratio_idc = 16}, 1920, 1088, -1.0f, 2.0f, nullptr},
        {"extended 8:3", {.aspect_ratio_idc = 255, .sar_width = 8, .sar_height = 3}, 1920, 1088, -1.0f, 2.0f, nullptr},
        {"extended zero height", {.aspect_ratio_idc = 255, .sar_width = 4, .sar_height = 0}, 1920, 1088, -1.0f, -1.0f,
         "decoder: aspect_ratio_idc -> sar extended. fail, value: [4,0]"},
        {"reserved idc", {.aspect_ratio_idc = 200}, 1920, 1088, -1.0f, -1.0f,
         "decoder: unexpected aspect_ratio_idc value: 200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        ProbedFrame frame(kCodecH265);
        std::vector<uint8_t> payload = AccessUnitWith(MakeHevcSps(c.fields));
        EXPECT_TRUE(frame.ReadStreamInfo(payload.data(), payload.size()));
        EXPECT_TRUE(frame.hasStreamInfo);
        EXPECT_EQ(frame.width, c.width);
        EXPECT_EQ(frame.height, c.height);
        EXPECT_EQ(frame.codedWidth, 1920u);
        EXPECT_EQ(frame.codedHeight, 1088u);
        EXPECT_EQ(frame.fps, c.fps);
        EXPECT_EQ(frame.sar, c.sar);
        EXPECT_EQ(frame.profile, 1u);
        EXPECT_EQ(frame.level, 120u);
        if (c.warning) {
            EXPECT_EQ(log.lines(), std::vector<std::string>{std::string("warning: ") + c.warning});
        } else {
            EXPECT_TRUE(log.lines().empty());
        }
    }
}

TEST(StreamInfoProbe, RefusesAWindowThatLeavesNoPicture)
{
    LogCapture log;
    ProbedFrame frame(kCodecH265);
    std::vector<uint8_t> payload = AccessUnitWith(MakeHevcSps({.window = {500, 500, 0, 0}}));
    EXPECT_FALSE(frame.ReadStreamInfo(payload.data(), payload.size()));
    EXPECT_FALSE(frame.hasStreamInfo);
    EXPECT_EQ(frame.width, 0u);
    // Refused either by the parser or by the size check; logged either way.
    EXPECT_TRUE(log.contains("video: videoframe -> could not read"));
}

TEST(StreamInfoProbe, OnlyAnSpsStartingInTheFirst100BytesCounts)
{
    const struct {
        uint8_t codec;
        const std::vector<uint8_t>* sps;
        size_t paddingBefore;
        bool found;
    } cases[] = {
        {kCodecH264, &kH264Sps720At25, 0, true},
        {kCodecH264, &kH264Sps720At25, 80, true},    // SPS starts inside, ends outside the window
        {kCodecH264, &kH264Sps720At25, 96, false},   // start code inside, header byte is the 101st
        {kCodecH264, &kH264Sps720At25, 120, false},
        {kCodecH265, &kHevcSps1080At5994, 70, true},
        {kCodecH265, &kHevcSps1080At5994, 97, false},  // start code straddles the edge
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.paddingBefore);
        LogCapture log;
        ProbedFrame frame(c.codec);
        std::vector<uint8_t> payload = AccessUnitWith(*c.sps, c.paddingBefore);
        EXPECT_TRUE(frame.ReadStreamInfo(payload.data(), payload.size()));
        EXPECT_EQ(frame.hasStreamInfo, c.found);
        EXPECT_EQ(frame.width, c.found ? (c.codec == kCodecH264 ? 1280u : 1920u) : 0u);
        // An SPS cut at the window edge would lose its VUI: the rate shows it was read whole.
        if (c.found) {
            EXPECT_GT(frame.fps, 0.0f);
        }
        EXPECT_TRUE(log.lines().empty());
    }
}

TEST(StreamInfoProbe, TruncatedSpsNeverReadsPastThePayload)
{
    // Every prefix of an access unit, copied to its own allocation so that
    // the sanitizers see any read beyond it.
    for (uint8_t codec : {kCodecH264, kCodecH265}) {
        std::vector<uint8_t> full = AccessUnitWith(codec == kCodecH264 ? kH264Sps1080At2997 : kHevcSps1080At5994);
        for (size_t size = 0; size <= full.size(); ++size) {
            LogCapture log;
            std::vector<uint8_t> prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
            ProbedFrame frame(codec);
            frame.ReadStreamInfo(prefix.data(), prefix.size());
            if (frame.hasStreamInfo) {
                EXPECT_GT(frame.width, 0u);
                EXPECT_LE(frame.width, frame.codedWidth);
                EXPECT_LE(frame.height, frame.codedHeight);
            }
        }
    }
}

}  // namespace
