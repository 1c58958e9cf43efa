#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "app/arguments.h"

namespace {

TEST(ParseArguments, OptionsValuesAndRefusals)
{
    const struct {
        std::vector<std::string> arguments;
        bool results, progress, capabilities;
        uint32_t repeat, warmup;
        std::string error;
        bool allAdapters = false;
        std::string stream = "";
        int codec = 0;
    } rows[] = {
        {{"--capabilities"}, false, false, true, 1, 0, ""},
        // Each of these asks for the results on its own.
        {{"--progress"}, true, true, false, 1, 0, ""},
        {{"--warmup", "0"}, true, false, false, 1, 0, ""},
        {{"--capabilities", "--repeat", "100", "--warmup", "100"}, true, false, true, 100, 100, ""},
        {{"--repeat", "101"}, false, false, false, 1, 0, "--repeat takes a whole number from 1 to 100"},
        {{"--warmup", "-1"}, false, false, false, 1, 0, "--warmup takes a whole number from 0 to 100"},
        {{"--results", "--repeats", "3"}, true, false, false, 1, 0, "unknown argument: --repeats"},
        {{"--all-adapters"}, true, false, false, 1, 0, "", true},
        {{"--capabilities", "--adapter"}, false, false, true, 1, 0,
         "--adapter takes an adapter's index or LUID, as the capability report gives them"},
        {{"--adapter", "1", "--all-adapters"}, true, false, false, 1, 0, "--adapter and --all-adapters cannot be combined"},
        // The codec from the name unless --codec says otherwise.
        {{"--codec", "h264", "--stream", "clip.265"}, false, false, false, 1, 0, "", false, "clip.265", 0},
        {{"--stream", "clip.mp4"}, false, false, false, 1, 0,
         "--stream clip.mp4: the codec is not known from the name (.264, .h264, .265, .h265, .hevc); add --codec h264 "
         "or h265"},
        {{"--stream", "clip.mp4", "--codec", "vp9"}, false, false, false, 1, 0, "--codec takes h264 or h265, not vp9"},
        {{"--codec", "h265"}, false, false, false, 1, 0, "--codec goes with --stream"},
        {{"--stream"}, false, false, false, 1, 0, "--stream takes the path of an Annex B H.264 or H.265 file"},
    };
    for (const auto& row : rows) {
        const ProgramArguments parsed = ParseArguments(row.arguments);
        const std::string shown = ::testing::PrintToString(row.arguments);
        EXPECT_EQ(parsed.error, row.error) << shown;
        if (!row.error.empty())
            continue;
        EXPECT_EQ(std::tuple(parsed.results, parsed.progress, parsed.capabilities, parsed.repeat, parsed.warmup,
                             parsed.allAdapters, parsed.stream.value_or(""), int(parsed.streamCodec)),
                  std::tuple(row.results, row.progress, row.capabilities, row.repeat, row.warmup, row.allAdapters,
                             row.stream, row.codec))
            << shown;
    }
}

}  // namespace
