#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tools/access_unit_splitter.h"
#include "tools/frame_file_writer.h"

namespace {

std::string ReadFrame(const std::filesystem::path& folder, int index)
{
    std::ifstream in(folder / ("frame_" + std::to_string(index) + ".frame"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Cutting each case's payloads (each frame file after its five-byte header),
// concatenated, gives back the data set's files, 30 fps timestamps included.
// A stream of the other codec is refused.
TEST(FrameMaker, CuttingTheConcatenatedFramesGivesThemBack)
{
    const std::pair<uint8_t, std::string> cases[] = {{0, "h264/1280_720"}, {0, "h264/1920_1080"}, {0, "h264/2560_1440"},
        {0, "h264/3840_2160"}, {1, "h265/1280_720"}, {1, "h265/1920_1080"}, {1, "h265/2560_1440"}, {1, "h265/3840_2160"},
        {0, "h265/1280_720"}};
    for (const auto& [codec, folder] : cases) {
        TempDir dir;
        const auto source = std::filesystem::path(TARSEL_SOURCE_DIR) / "data" / folder, out = dir.path() / "nested" / "out";
        std::string stream, error;
        for (int index = 0; index < 30; ++index)
            stream += ReadFrame(source, index).substr(5);
        const bool valid = folder[3] == "45"[codec];
        std::vector<AccessUnitRange> units;
        const auto* bytes = reinterpret_cast<const uint8_t*>(stream.data());
        ASSERT_EQ(SplitAccessUnits(codec, bytes, stream.size(), units, error), valid) << folder << ": " << error;
        EXPECT_TRUE(valid || error.starts_with("not a valid H.264 stream")) << error;
        ASSERT_EQ(units.size(), valid ? 30u : 0u);
        ASSERT_TRUE(WriteFrameFiles(out.string(), codec, 30, bytes, units, error)) << error;
        for (int index = 0; index < int(units.size()); ++index)
            EXPECT_EQ(ReadFrame(out, index), ReadFrame(source, index)) << folder << " " << index;
    }
}

}  // namespace
