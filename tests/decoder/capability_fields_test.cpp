// The capability message's derived fields: a profile's bit depth and chroma,
// and the driver's date as the registry gives it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/capability/decoder_profile_names.h"
#include "decoder/platform/decoder_profiles.h"
#include "decoder/platform/driver_date.h"

using namespace platform;

namespace {

const GUID kUnnamedProfile = {0x0badf00d, 0x1234, 0x5678, {0x9a, 0xbc, 0xde, 0xf0, 0x12, 0x34, 0x56, 0x78}};

// A profile's depth and chroma: what its published name fixes, else the
// highest depth and the widest chroma of its formats, each apart. (The named
// H.264, AV1 and HEVC Main and Main 10 profiles, and NV12 and P010 alone,
// come out of the test machine's probe.)
TEST(ProfileSampling, NameFirstThenTheWidestOfTheFormats)
{
    struct Row { const char* what; GUID profile; std::vector<DXGI_FORMAT> formats; int bitDepth; const char* chroma; };
    const Row rows[] = {
        {"P016", kUnnamedProfile, {DXGI_FORMAT_P016}, 16, "4:2:0"}, {"Y416", kUnnamedProfile, {DXGI_FORMAT_Y416}, 16, "4:4:4"},
        {"an unknown format only", kUnnamedProfile, {DXGI_FORMAT_UNKNOWN}, 0, nullptr},
        {"depth and chroma from different formats", kUnnamedProfile,
         {DXGI_FORMAT_NV12, DXGI_FORMAT_P010, DXGI_FORMAT_YUY2}, 10, "4:2:2"},
        {"widest first", kUnnamedProfile, {DXGI_FORMAT_Y410, DXGI_FORMAT_NV12}, 10, "4:4:4"},
        {"HEVC Main12 into a 16-bit format", D3D11_DECODER_PROFILE_HEVC_VLD_MAIN12, {DXGI_FORMAT_P016}, 12, "4:2:0"},
        {"HEVC monochrome into NV12", D3D11_DECODER_PROFILE_HEVC_VLD_MONOCHROME, {DXGI_FORMAT_NV12}, 8, "4:0:0"},
        {"HEVC Main10 extended: chroma from the formats", D3D11_DECODER_PROFILE_HEVC_VLD_MAIN10_EXT,
         {DXGI_FORMAT_P010, DXGI_FORMAT_Y216}, 10, "4:2:2"},
    };
    for (const Row& row : rows) {
        ProfileSampling sampling = SamplingOf(row.profile, row.formats);
        EXPECT_EQ(sampling.bitDepth, row.bitDepth) << row.what;
        EXPECT_STREQ(sampling.chroma, row.chroma) << row.what;
    }
}

TEST(DriverDate, RegistryTextBecomesIsoOrNothing)
{
    const std::pair<const char*, const char*> dates[] = {{"10-4-2023", "2023-10-04"}, {"01-08-2024", "2024-01-08"}, {"2-29-2024", "2024-02-29"}};
    for (const auto& [text, date] : dates)
        EXPECT_EQ(DriverDateText(text), date) << '"' << text << '"';
    // Impossible days and months, other orders and separators, signs, spaces, short or long fields.
    for (const char* text : {"2-29-2023", "4-31-2023", "13-1-2023", "0-1-2023", "1-0-2023", "2023-01-08", "1-8-23", "1-8-20230",
                             "001-8-2023", "1/8/2023", "+1-8-2023", " 1-8-2023", "1-8-2023 ", ""})
        EXPECT_EQ(DriverDateText(text), std::nullopt) << '"' << text << '"';
    // A NUL the registry value kept is not part of a date.
    EXPECT_EQ(DriverDateText(std::string_view("1-8-2023\0", 9)), std::nullopt);
}

}  // namespace
