#include <string>
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
        std::string adapter = "";
        bool allAdapters = false;
    } rows[] = {
        {{}, false, false, false, 1, 0, ""},
        {{"--capabilities"}, false, false, true, 1, 0, ""},
        // Each of these asks for the results on its own.
        {{"--progress"}, true, true, false, 1, 0, ""},
        {{"--warmup", "0"}, true, false, false, 1, 0, ""},
        {{"--capabilities", "--repeat", "100", "--warmup", "100"}, true, false, true, 100, 100, ""},
        {{"--repeat", "101"}, false, false, false, 1, 0, "--repeat takes a whole number from 1 to 100"},
        {{"--repeat", " 5"}, false, false, false, 1, 0, "--repeat takes a whole number from 1 to 100"},
        {{"--repeat", "99999999999"}, false, false, false, 1, 0, "--repeat takes a whole number from 1 to 100"},
        {{"--warmup", "-1"}, false, false, false, 1, 0, "--warmup takes a whole number from 0 to 100"},
        {{"--results", "--repeats", "3"}, true, false, false, 1, 0, "unknown argument: --repeats"},
        {{"--adapter", "0x000000000000D1A0"}, false, false, false, 1, 0, "", "0x000000000000D1A0"},
        {{"--all-adapters"}, true, false, false, 1, 0, "", "", true},
        {{"--capabilities", "--adapter"}, false, false, true, 1, 0,
         "--adapter takes an adapter's index or LUID, as the capability report gives them"},
        {{"--adapter", "1", "--all-adapters"}, true, false, false, 1, 0, "--adapter and --all-adapters cannot be combined"},
    };
    for (const auto& row : rows) {
        const ProgramArguments parsed = ParseArguments(row.arguments);
        std::string shown;
        for (const std::string& argument : row.arguments)
            shown += argument + " ";
        EXPECT_EQ(parsed.error, row.error) << shown;
        if (!row.error.empty())
            continue;
        EXPECT_EQ(parsed.results, row.results) << shown;
        EXPECT_EQ(parsed.progress, row.progress) << shown;
        EXPECT_EQ(parsed.capabilities, row.capabilities) << shown;
        EXPECT_EQ(parsed.repeat, row.repeat) << shown;
        EXPECT_EQ(parsed.warmup, row.warmup) << shown;
        EXPECT_EQ(parsed.adapter.value_or(""), row.adapter) << shown;
        EXPECT_EQ(parsed.allAdapters, row.allAdapters) << shown;
    }
}

}  // namespace
