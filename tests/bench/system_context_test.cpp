#include <chrono>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "bench/system_context.h"

namespace {

using namespace std::chrono;

TEST(SystemContext, FormatsUtcTimesInWholeSeconds)
{
    const struct {
        system_clock::time_point time;
        const char* text;
    } rows[] = {
        {sys_days{2026y / December / 7} + 13h + 45min + 12s, "2026-12-07T13:45:12Z"},
        {sys_days{1970y / January / 1}, "1970-01-01T00:00:00Z"},
        // Seconds are cut, never rounded up into the next day.
        {sys_days{2024y / February / 29} + 23h + 59min + 59s + 999ms, "2024-02-29T23:59:59Z"},
        {sys_days{2000y / March / 1} + 1s, "2000-03-01T00:00:01Z"},
        {sys_days{1969y / December / 31} + 23h + 59min + 59s + 500ms, "1969-12-31T23:59:59Z"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatUtcTime(row.time), row.text);
}

TEST(SystemContext, TidiesPaddedProcessorNames)
{
    const struct {
        std::string raw;
        const char* tidy;
    } rows[] = {
        {"       Intel(R) Core(TM) i7 CPU         920  @ 2.67GHz", "Intel(R) Core(TM) i7 CPU 920 @ 2.67GHz"},
        {std::string("AMD EPYC 7B13 \0\0\0junk", 22), "AMD EPYC 7B13"},
        {"\tAMD\t\tRyzen 9 ", "AMD Ryzen 9"},
        {"   ", ""},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(TidyCpuName(row.raw), row.tidy) << row.raw;
}

TEST(SystemContext, ReadsThePrettyNameOfOsRelease)
{
    const struct {
        const char* file;
        const char* name;
    } rows[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"NAME=Fedora\r\nPRETTY_NAME='Fedora Linux 39'\r\n", "Fedora Linux 39"},
        {"ID=alpine\nPRETTY_NAME=Alpine\n", "Alpine"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" \\\\ bye\"", "Say \"hi\" \\ bye"},
        {"#PRETTY_NAME=\"Comment\"\nNAME=Other\n", ""},
        {"XPRETTY_NAME=\"Not it\"\n", ""},
        {"PRETTY_NAME=\"Old\"\nPRETTY_NAME=\"New\"\n", "New"},
        {"PRETTY_NAME=\"Unterminated", "Unterminated"},
        {"PRETTY_NAME=", ""},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(OsReleasePrettyName(row.file), row.name) << row.file;
}

TEST(SystemContext, ReadsTheModelNameOfCpuinfo)
{
    const struct {
        const char* file;
        const char* model;
    } rows[] = {
        {"processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\nmodel\t\t: 1\n"
         "model name\t: AMD EPYC 7B13\nstepping\t: 0\n\nprocessor\t: 1\nmodel name\t: Second\n",
         "AMD EPYC 7B13"},
        {"model\t\t: 85\nmodel name:Intel(R) Xeon(R)   CPU\r\n", "Intel(R) Xeon(R) CPU"},
        {"processor\t: 0\nBogoMIPS\t: 48.00\nmodel\t: 1\n", ""},
        {"model name", ""},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CpuinfoModelName(row.file), row.model) << row.file;
}

void ExpectText(const nlohmann::json& value, const char* what)
{
    ASSERT_TRUE(value.is_string()) << what << ": " << value.dump();
    EXPECT_FALSE(value.get<std::string>().empty()) << what;
}

bool Matches(const nlohmann::json& value, const char* pattern)
{
    return value.is_string() && std::regex_match(value.get<std::string>(), std::regex(pattern));
}

TEST(SystemContext, DescribesThisMachinePlausibly)
{
    const std::string before = FormatUtcTime(system_clock::now());
    const nlohmann::json context = SystemContext();
    const std::string after = FormatUtcTime(system_clock::now());
    SCOPED_TRACE(context.dump(1));

    const nlohmann::json& program = context.at("program");
    EXPECT_EQ(program.at("name"), "tarsel-bench");
    EXPECT_TRUE(Matches(program.at("version"), R"(\d+\.\d+\.\d+)"));
    EXPECT_TRUE(Matches(program.at("commit"), "[0-9a-f]{4,40}|unknown"));
    ExpectText(program.at("buildType"), "buildType");
    EXPECT_TRUE(Matches(program.at("compiler"), R"((GCC|Clang|MSVC) \d+\S*)"));

    const nlohmann::json& os = context.at("os");
    ExpectText(os.at("release"), "os.release");
    ExpectText(os.at("description"), "os.description");
#ifdef _WIN32
    EXPECT_EQ(os.at("name"), "Windows");
    EXPECT_TRUE(Matches(os.at("release"), R"(\d+\.\d+)"));
    ASSERT_TRUE(os.at("build").is_number_unsigned());
    EXPECT_GT(os.at("build").get<uint64_t>(), 0u);
    if (os.contains("wine"))
        ExpectText(os.at("wine"), "os.wine");
#else
    EXPECT_EQ(os.at("name"), "Linux");
    EXPECT_TRUE(os.at("build").is_null());
    EXPECT_FALSE(os.contains("wine"));
#endif

    ExpectText(context.at("cpu").at("model"), "cpu.model");
    ASSERT_TRUE(context.at("cpu").at("logicalCores").is_number_unsigned());
    EXPECT_GE(context.at("cpu").at("logicalCores").get<unsigned>(), 1u);
    ASSERT_TRUE(context.at("memory").at("totalBytes").is_number_unsigned());
    // Any machine that runs the tests has more than 64 MiB.
    EXPECT_GT(context.at("memory").at("totalBytes").get<uint64_t>(), 64u << 20);

    ASSERT_TRUE(Matches(context.at("time"), R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"));
    // These times sort as text.
    EXPECT_LE(before, context.at("time").get<std::string>());
    EXPECT_GE(after, context.at("time").get<std::string>());
}

#if defined(__x86_64__) || defined(__i386__)
// Every x86 processor of this century names itself in CPUID's brand leaves,
// in printable ASCII (virtual machines name their virtual processor).
TEST(SystemContext, ReadsTheCpuidBrandString)
{
    const std::string brand = CpuBrandString();
    ASSERT_FALSE(brand.empty());
    for (char c : brand)
        EXPECT_TRUE(c >= 0x20 && c < 0x7f) << brand;
    EXPECT_EQ(TidyCpuName(brand), brand);
    EXPECT_EQ(SystemContext().at("cpu").at("model"), brand);
}
#endif

}  // namespace
