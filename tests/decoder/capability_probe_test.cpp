#include <gtest/gtest.h>

#include "capability_test_machine.h"
#include "decoder/adapter_selection.h"
#include "decoder/capability/capability_probe.h"

using namespace platform;

namespace {

// The test machine as its description says it must come out: every adapter in
// order with what its driver says of itself, the software one without video,
// the first that decodes H.264 or HEVC Main into NV12 marked for the
// benchmark, every profile in the driver's order with its depth and chroma
// from its name or else from its formats.
const char* const kTestMachineMessage = R"({"capabilities": {"adapters": [
  {"index": 0, "description": "Basic Render Driver", "vendorId": 5140, "deviceId": 140, "subSysId": 0, "revision": 0,
   "dedicatedVideoMemory": 0, "luid": "0x000000000000d1a0", "driverVersion": "10.0.22621.2506", "driverDate": null,
   "simulated": false, "software": true, "benchmark": false,
   "video": null, "reason": "D3D11CreateDevice failed on adapter 0: hr = 0x887a0004"},
  {"index": 1, "description": "Integrated test GPU", "vendorId": 32902, "deviceId": 39497, "subSysId": 814121094,
   "revision": 1, "dedicatedVideoMemory": 134217728, "luid": "0x000000000000e2b1", "driverVersion": "31.0.101.4502",
   "driverDate": "2023-06-14", "simulated": false, "software": false, "benchmark": true,
   "video": {"profiles": [
    {"guid": "{604F8E68-4951-4C54-88FE-ABD25C15B3D6}", "name": "H264_VLD_VENDOR_INTEL", "codec": "h264",
     "bitDepth": 8, "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 4096, "height": 2304}},
    {"guid": "{1B81BE68-A0C7-11D3-B984-00C04F2E73C5}", "name": "H264_VLD_NOFGT", "codec": "h264", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 4096, "height": 2304}},
    {"guid": "{5B11D51B-2F4C-4452-BCC3-09F2A1160CC0}", "name": "HEVC_VLD_MAIN", "codec": "hevc", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 4096, "height": 2304}},
    {"guid": "{463707F8-A1D0-4585-876D-83AA6D60B89E}", "name": "VP9_VLD_PROFILE0", "codec": "vp9", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 4096, "height": 2304}}]}},
  {"index": 2, "description": "Discrete test GPU", "vendorId": 4318, "deviceId": 9348, "subSysId": 342298846,
   "revision": 161, "dedicatedVideoMemory": 8589934592, "luid": "0x000000010001f3c2", "driverVersion": null,
   "driverDate": "2024-01-08", "simulated": false, "software": false, "benchmark": false, "video": {"profiles": [
    {"guid": "{1B81BE68-A0C7-11D3-B984-00C04F2E73C5}", "name": "H264_VLD_NOFGT", "codec": "h264", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{5B11D51B-2F4C-4452-BCC3-09F2A1160CC0}", "name": "HEVC_VLD_MAIN", "codec": "hevc", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{107AF0E0-EF1A-4D19-ABA8-67A163073D13}", "name": "HEVC_VLD_MAIN10", "codec": "hevc", "bitDepth": 10,
     "chroma": "4:2:0", "formats": ["P010"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{463707F8-A1D0-4585-876D-83AA6D60B89E}", "name": "VP9_VLD_PROFILE0", "codec": "vp9", "bitDepth": 8,
     "chroma": "4:2:0", "formats": ["NV12"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{A4C749EF-6ECF-48AA-8448-50A7A1165FF7}", "name": "VP9_VLD_10BIT_PROFILE2", "codec": "vp9",
     "bitDepth": 10, "chroma": "4:2:0", "formats": ["P010"], "maxSize": {"width": 3840, "height": 2160}, "realTime": true},
    {"guid": "{B8BE4CCB-CF53-46BA-8D59-D6B8A6DA5D2A}", "name": "AV1_VLD_PROFILE0", "codec": "av1", "bitDepth": 10,
     "chroma": "4:2:0", "formats": ["NV12", "P010"], "maxSize": {"width": 8192, "height": 8192}, "realTime": false},
    {"guid": "{12345678-9ABC-DEF0-0123-456789ABCDEF}", "name": null, "codec": null, "bitDepth": 8, "chroma": "4:2:0",
     "formats": ["NV12"], "maxSize": null}]}}]}})";

// (The decoder takes the adapter marked for the benchmark: the adapter plan's test.)
TEST(CapabilityProbe, TestMachineComesOutAsDescribedAndNothingIsLeftHeld)
{
    capability_test::TestMachine machine;
    nlohmann::json message = CapabilityMessage(ProbeCapabilities(machine));
    nlohmann::json expected = nlohmann::json::parse(kTestMachineMessage);
    EXPECT_EQ(message, expected) << nlohmann::json::diff(expected, message).dump(1);
    // The cost stays bounded: one decoder made for each profile that has a largest size.
    EXPECT_EQ(machine.decodersCreated, 10);
    EXPECT_EQ(machine.liveObjects, 0);
}

// A profile's largest size is that of a configuration its codec can use:
// H.264 takes bitstream-raw 2 as well as 1, H.265 raw 1 only; one the codec
// cannot use is passed over even when the driver lists it first and it would
// make larger decoders. (That H.264 takes neither 0 nor 3 is the decoder
// configuration test's.)
TEST(CapabilityProbe, ConfigurationsTheCodecCannotUseAreSkipped)
{
    using capability_test::EarlierConfiguration;
    using capability_test::Limit;
    struct Row {
        const char* what;
        size_t profile;  // of the integrated adapter: H.264 vendor, H.264, HEVC Main, VP9
        std::vector<EarlierConfiguration> earlier;
        Limit rawOneDecoders;
        PictureSize expected;
    };
    const Row rows[] = {
        {"H.264: raw 2 is usable", 0, {{2, {2560, 1440}}}, {1920, 1080}, {2560, 1440}},
        {"H.265: raw 2 is not", 2, {{2, {4096, 2304}}}, {2560, 1440}, {2560, 1440}},
    };
    capability_test::TestMachine machine;
    for (const Row& row : rows) {
        capability_test::ProfileTraits& profile = machine.adapters[1].profiles[row.profile];
        profile.earlier = row.earlier;
        profile.decoders = row.rawOneDecoders;
    }
    const MachineCapabilities probed = ProbeCapabilities(machine);
    for (const Row& row : rows) {
        const ProfileCapabilities& profile = probed.adapters.at(1).profiles.at(row.profile);
        EXPECT_EQ(profile.maxSize.value().width, row.expected.width) << row.what;
        EXPECT_EQ(profile.maxSize.value().height, row.expected.height) << row.what;
    }
}

}  // namespace

// A version's top field read as unsigned; the test machine's message shows the rest.
TEST(AdapterText, DriverVersionTopFieldIsUnsigned)
{
    EXPECT_EQ(DriverVersionText(static_cast<int64_t>(0xFFFF000000000001u)), "65535.0.0.1");
}
