#include <chrono>
#include <string>
#include <string_view>
#include <tuple>

#include <gtest/gtest.h>

#include "bench/system_context.h"

namespace {

using namespace std::chrono;

// Seconds are cut, never rounded up into the next day, also before 1970.
TEST(SystemContext, FormatsUtcTimesInWholeSeconds)
{
    EXPECT_EQ(FormatUtcTime(sys_days{2024y / February / 29} + 23h + 59min + 59s + 999ms), "2024-02-29T23:59:59Z");
    EXPECT_EQ(FormatUtcTime(sys_days{1969y / December / 31} + 23h + 59min + 59s + 500ms), "1969-12-31T23:59:59Z");
}

TEST(SystemContext, ReadsLinuxTextFilesAndTidiesProcessorNames)
{
    using Reader = std::string (*)(std::string_view);
    const Reader os = OsReleasePrettyName, cpu = CpuinfoModelName, tidy = TidyCpuName;
    const std::tuple<Reader, std::string, const char*> rows[] = {
        {os, "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n", "Debian GNU/Linux 12 (bookworm)"},
        {os, "NAME=Fedora\r\nPRETTY_NAME='Fedora Linux 39'\r\n", "Fedora Linux 39"},
        {os, "PRETTY_NAME=\"Say \\\"hi\\\" \\\\ bye\"", "Say \"hi\" \\ bye"},
        // Like the shell, the last assignment wins; a bare value is taken as it is.
        {os, "PRETTY_NAME=\"Old\"\nPRETTY_NAME=New\n", "New"},
        {os, "#PRETTY_NAME=\"Comment\"\nXPRETTY_NAME=\"Not it\"\n", ""},
        {os, "PRETTY_NAME=\"Unterminated", "Unterminated"},
        {cpu, "processor\t: 0\nmodel\t\t: 1\nmodel name\t: AMD EPYC 7B13\n\nmodel name\t: Second\n", "AMD EPYC 7B13"},
        {cpu, "model name:Intel(R) Xeon(R)   CPU\r\n", "Intel(R) Xeon(R) CPU"},
        {cpu, "processor\t: 0\nmodel\t: 1\nmodel name", ""},
        {tidy, std::string("\tAMD\t\tEPYC 7B13 \0\0\0junk", 23), "AMD EPYC 7B13"},
        {tidy, "   ", ""},
    };
    for (const auto& [read, text, expected] : rows)
        EXPECT_EQ(read(text), expected) << text;
}

}  // namespace
