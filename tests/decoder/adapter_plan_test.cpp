#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "capability_test_machine.h"
#include "decoder/capability/adapter_plan.h"
#include "decoder/dxva2_video_decoder.h"
#include "support/log_capture.h"
#include "test_frames.h"

using namespace platform;

namespace {

// The test machine: 0 software without video, 1 integrated (the rule's), 2
// discrete. Every adapter measures those with video and says why not the
// others; a named one, by index or LUID, is measured alone or refused.
TEST(AdapterPlan, EveryAdapterOrTheNamedOne)
{
    capability_test::TestMachine machine;
    LogCapture log;
    const MachineCapabilities probed = ProbeCapabilities(machine);
    const AdapterPlan plan = PlanEveryAdapter(probed);
    EXPECT_EQ(plan.measured, (std::vector<UINT>{1, 2}));
    EXPECT_EQ(plan.ruleAdapter, std::optional<UINT>{1});
    EXPECT_TRUE(plan.error.empty());
    ASSERT_EQ(plan.skipped.size(), 1u);
    EXPECT_EQ(plan.skipped[0].identity.index, 0u);
    EXPECT_EQ(plan.skipped[0].reason, "no video decoding: D3D11CreateDevice failed on adapter 0: hr = 0x887a0004");

    const struct {
        const char* id;
        int measured;  // -1: refused
        const char* error;
    } rows[] = {
        {"1", 1, ""},
        {"0x10001F3C2", 2, ""},  // the report's text without its leading zeros, any case
        {"0", -1,
         "--adapter 0: adapter 0 \"Basic Render Driver\" 0x000000000000d1a0 cannot run the benchmark: no video "
         "decoding: D3D11CreateDevice failed on adapter 0: hr = 0x887a0004"},
    };
    for (const auto& row : rows) {
        const AdapterPlan named = PlanNamedAdapter(probed, row.id);
        EXPECT_EQ(named.error, row.error) << row.id;
        EXPECT_EQ(named.measured, row.measured < 0 ? std::vector<UINT>{} : std::vector<UINT>{UINT(row.measured)}) << row.id;
    }
    // None of these names an adapter. (The refusal's list of adapters is the e2e results test's.)
    for (const char* id : {"3", "-1", "+1", "1.0", "0x", "0x10000000000000000", "discrete", "0x0000000000000000"})
        EXPECT_NE(PlanNamedAdapter(probed, id).error.find("no such adapter"), std::string::npos) << id;
}

// The decoder takes the adapter the probe marks for the benchmark unless told
// another, and none other: the discrete one, which it would not choose
// itself, decodes a picture; the software one fails Init. Nothing is left held.
TEST(AdapterPlan, DecoderRunsOnTheRequiredAdapter)
{
    capability_test::TestMachine machine;
    LogCapture log;
    const std::vector<uint8_t> idr = FixtureAccessUnits("hevc_64x48.h265", kCodecH265)[0];
    const std::pair<std::optional<UINT>, int> cases[] = {{std::nullopt, 1}, {2, 2}, {0, kNoUsableAdapter}};
    for (const auto& [required, adapter] : cases) {
        DXVA2VideoDecoder decoder(nullptr, nullptr, machine);
        if (required)
            decoder.RequireAdapter(*required);
        ASSERT_EQ(decoder.Init(), adapter < 0 ? adapter : 1) << ::testing::PrintToString(log.messages());
        EXPECT_EQ(decoder.Adapter() ? int(decoder.Adapter()->index) : kNoUsableAdapter, adapter);
        if (adapter >= 0) {
            std::unique_ptr<VideoFrame> frame = Frame(kCodecH265, idr, 64, 48);
            EXPECT_GT(decoder.Decode(frame), 0) << ::testing::PrintToString(log.messages());
        }
    }
    EXPECT_EQ(machine.liveObjects, 0);
}

}  // namespace
