#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "capability_test_machine.h"
#include "decoder/capability_probe.h"
#include "decoder/decoder_profile_names.h"
#include "fake_video_platform.h"
#include "support/log_capture.h"

using namespace platform;

namespace {

// The test machine as its description says it must come out: every adapter in
// order, the software one without video, the first that decodes H.264 or HEVC
// Main into NV12 marked for the benchmark, every profile in the driver's order.
const char* const kTestMachineMessage = R"({"capabilities": {"adapters": [
  {"index": 0, "description": "Basic Render Driver", "vendorId": 5140, "deviceId": 140, "subSysId": 0, "revision": 0,
   "dedicatedVideoMemory": 0, "luid": "0x000000000000d1a0", "software": true, "benchmark": false,
   "video": null, "reason": "D3D11CreateDevice failed on adapter 0: hr = 0x887a0004"},
  {"index": 1, "description": "Integrated test GPU", "vendorId": 32902, "deviceId": 39497, "subSysId": 814121094,
   "revision": 1, "dedicatedVideoMemory": 134217728, "luid": "0x000000000000e2b1", "software": false, "benchmark": true,
   "video": {"profiles": [
    {"guid": "{604F8E68-4951-4C54-88FE-ABD25C15B3D6}", "name": "H264_VLD_VENDOR_INTEL", "codec": "h264",
     "formats": ["NV12"], "maxSize": {"width": 4096, "height": 2304}},
    {"guid": "{1B81BE68-A0C7-11D3-B984-00C04F2E73C5}", "name": "H264_VLD_NOFGT", "codec": "h264",
     "formats": ["NV12"], "maxSize": {"width": 4096, "height": 2304}},
    {"guid": "{5B11D51B-2F4C-4452-BCC3-09F2A1160CC0}", "name": "HEVC_VLD_MAIN", "codec": "hevc", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 4096, "height": 2304}},
    {"guid": "{463707F8-A1D0-4585-876D-83AA6D60B89E}", "name": "VP9_VLD_PROFILE0", "codec": "vp9", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 4096, "height": 2304}}]}},
  {"index": 2, "description": "Discrete test GPU", "vendorId": 4318, "deviceId": 9348, "subSysId": 342298846,
   "revision": 161, "dedicatedVideoMemory": 8589934592, "luid": "0x000000010001f3c2", "software": false,
   "benchmark": false, "video": {"profiles": [
    {"guid": "{1B81BE68-A0C7-11D3-B984-00C04F2E73C5}", "name": "H264_VLD_NOFGT", "codec": "h264",
     "formats": ["NV12"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{5B11D51B-2F4C-4452-BCC3-09F2A1160CC0}", "name": "HEVC_VLD_MAIN", "codec": "hevc", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{107AF0E0-EF1A-4D19-ABA8-67A163073D13}", "name": "HEVC_VLD_MAIN10", "codec": "hevc", "bitDepth": 10,
     "chroma": "4:2:0", "formats": ["P010"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{463707F8-A1D0-4585-876D-83AA6D60B89E}", "name": "VP9_VLD_PROFILE0", "codec": "vp9", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{A4C749EF-6ECF-48AA-8448-50A7A1165FF7}", "name": "VP9_VLD_10BIT_PROFILE2", "codec": "vp9",
     "bitDepth": 10, "chroma": "4:2:0", "formats": ["P010"], "maxSize": {"width": 3840, "height": 2160}, "realTime": true},
    {"guid": "{B8BE4CCB-CF53-46BA-8D59-D6B8A6DA5D2A}", "name": "AV1_VLD_PROFILE0", "codec": "av1", "chroma": "4:2:0",
     "formats": ["NV12", "P010"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{12345678-9ABC-DEF0-0123-456789ABCDEF}", "name": null, "codec": null, "formats": ["NV12"],
     "maxSize": null}]}}]}})";

TEST(CapabilityProbe, TestMachineComesOutAsDescribedAndNothingIsLeftHeld)
{
    capability_test::TestMachine machine;
    LogCapture log;
    nlohmann::json message = CapabilityMessage(ProbeCapabilities(machine));
    nlohmann::json expected = nlohmann::json::parse(kTestMachineMessage);
    EXPECT_EQ(message, expected) << nlohmann::json::diff(expected, message).dump(1);
    EXPECT_EQ(machine.liveObjects, 0);
    // Every size list is searched, not walked: 11 profiles with a format, at most four decoders each.
    EXPECT_LE(machine.decodersCreated, 11 * 4);
    EXPECT_EQ(log.count("capabilities: adapter "), 3u);
    EXPECT_TRUE(log.contains("capabilities: adapter 0 -> Basic Render Driver [0x1414//0x8c] software, no video: "
                             "D3D11CreateDevice failed on adapter 0: hr = 0x887a0004"));
    EXPECT_TRUE(log.contains("capabilities: adapter 1 -> Integrated test GPU [0x8086//0x9a49], 4 profiles, benchmark"));
}

// The benchmark mark follows the decoder's choice: a failed factory gives no
// adapters but a reason; on the simulated device alone its one adapter.
TEST(CapabilityProbe, FactoryFailureAndTheDefaultDevice)
{
    fake::ScriptedPlatform failing;
    failing.failures = {{"CreateDXGIFactory1", static_cast<HRESULT>(0x887A0004u)}};
    EXPECT_EQ(CapabilityMessage(ProbeCapabilities(failing)),
              nlohmann::json::parse(R"({"capabilities": {"adapters": [],
                                    "reason": "CreateDXGIFactory1 failed: hr = 0x887a0004"}})"));

    SimulatedVideoPlatform simulated;
    LogCapture log;
    nlohmann::json adapters = CapabilityMessage(ProbeCapabilities(simulated))["capabilities"]["adapters"];
    ASSERT_EQ(adapters.size(), 1u);
    EXPECT_EQ(adapters[0]["benchmark"], true);
    std::vector<std::string> names;
    for (const nlohmann::json& profile : adapters[0]["video"]["profiles"]) {
        names.push_back(profile["name"]);
        EXPECT_FALSE(profile.contains("realTime"));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"H264_VLD_NOFGT", "HEVC_VLD_MAIN"}));
}

// Names of profiles that mingw-w64's headers do not carry, and the two vendor
// H.264 profiles, as the published list gives them.
TEST(CapabilityProbe, ProfileNamesFromThePublishedList)
{
    struct Row { const char* guid; const char* name; };
    const Row rows[] = {
        {"{604F8E68-4951-4C54-88FE-ABD25C15B3D6}", "H264_VLD_VENDOR_INTEL"},
        {"{4245F676-2BBC-4166-A0BB-54E7B849C380}", "H264_VLD_VENDOR_2"},
        {"{9798634D-FE9D-48E5-B4DA-DBEC45B3DF01}", "HEVC_VLD_MAIN12_444"},
        {"{142A1D0F-69DD-4EC9-8591-B12FFCB91A29}", "HEVC_VLD_MONOCHROME10"},
        {"{C91748D5-FD18-4ACA-9DB3-3A6634AB547D}", "MJPEG_VLD_4444"},
        {"{0BAC4FE5-1532-4429-A854-F84DE04953DB}", "HEVC_VLD_MAIN10_422"},
        {"{2D80BED6-9CAC-4835-9E91-327BBC4F9EE8}", "AV1_VLD_12BIT_PROFILE2_420"},
        {"{00000000-0000-0000-0000-000000000001}", nullptr},
    };
    for (const Row& row : rows) {
        GUID guid = {};
        unsigned bytes[8] = {};
        ASSERT_EQ(std::sscanf(row.guid, "{%8x-%4hx-%4hx-%2x%2x-%2x%2x%2x%2x%2x%2x}", &guid.Data1, &guid.Data2, &guid.Data3,
                              &bytes[0], &bytes[1], &bytes[2], &bytes[3], &bytes[4], &bytes[5], &bytes[6], &bytes[7]),
                  11);
        std::copy(std::begin(bytes), std::end(bytes), guid.Data4);
        EXPECT_EQ(GuidText(guid), row.guid);
        const DecoderProfileName* named = FindDecoderProfileName(guid);
        EXPECT_STREQ(named ? named->name : nullptr, row.name) << row.guid;
    }
}

}  // namespace
