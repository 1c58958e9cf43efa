#include <chrono>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "bench/system_context.h"

namespace {

using namespace std::chrono;

// Seconds are cut, never rounded up into the next day, also before 1970.
TEST(SystemContext, FormatsUtcTimesInWholeSeconds)
{
    EXPECT_EQ(FormatUtcTime(sys_days{2026y / December / 7} + 13h + 45min + 12s), "2026-12-07T13:45:12Z");
    EXPECT_EQ(FormatUtcTime(sys_days{2024y / February / 29} + 23h + 59min + 59s + 999ms), "2024-02-29T23:59:59Z");
    EXPECT_EQ(FormatUtcTime(sys_days{1969y / December / 31} + 23h + 59min + 59s + 500ms), "1969-12-31T23:59:59Z");
}

TEST(SystemContext, ReadsLinuxTextFilesAndTidiesProcessorNames)
{
    const std::pair<std::string, const char*> osReleases[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n", "Debian GNU/Linux 12 (bookworm)"},
        {"NAME=Fedora\r\nPRETTY_NAME='Fedora Linux 39'\r\n", "Fedora Linux 39"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" \\\\ bye\"", "Say \"hi\" \\ bye"},
        // Like the shell, the last assignment wins; a bare value is taken as it is.
        {"PRETTY_NAME=\"Old\"\nPRETTY_NAME=New\n", "New"},
        {"#PRETTY_NAME=\"Comment\"\nXPRETTY_NAME=\"Not it\"\n", ""},
        {"PRETTY_NAME=\"Unterminated", "Unterminated"},
    };
    for (const auto& [file, name] : osReleases)
        EXPECT_EQ(OsReleasePrettyName(file), name) << file;

    const std::pair<std::string, const char*> cpuinfos[] = {
        {"processor\t: 0\nmodel\t\t: 1\nmodel name\t: AMD EPYC 7B13\n\nmodel name\t: Second\n", "AMD EPYC 7B13"},
        {"model name:Intel(R) Xeon(R)   CPU\r\n", "Intel(R) Xeon(R) CPU"},
        {"processor\t: 0\nmodel\t: 1\nmodel name", ""},
    };
    for (const auto& [file, model] : cpuinfos)
        EXPECT_EQ(CpuinfoModelName(file), model) << file;

    const std::pair<std::string, const char*> names[] = {
        {"       Intel(R) Core(TM) i7 CPU         920  @ 2.67GHz", "Intel(R) Core(TM) i7 CPU 920 @ 2.67GHz"},
        {std::string("\tAMD\t\tEPYC 7B13 \0\0\0junk", 23), "AMD EPYC 7B13"},
        {"   ", ""},
    };
    for (const auto& [raw, tidy] : names)
        EXPECT_EQ(TidyCpuName(raw), tidy) << raw;
}

}  // namespace
