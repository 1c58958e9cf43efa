#include "bench/system_context.h"

#include <cstdio>
#include <cstring>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "bench/build_info.h"

namespace {

std::string CompilerName()
{
#if defined(__clang__)
    return "Clang " + std::to_string(__clang_major__) + "." + std::to_string(__clang_minor__) + "." +
           std::to_string(__clang_patchlevel__);
#elif defined(__GNUC__)
    // GCC's own version text: Debian's mingw-w64 GCC says "12-posix" there
    // and 12.0.0 in its numeric macros.
    return std::string("GCC ") + __VERSION__;
#elif defined(_MSC_VER)
    return "MSVC " + std::to_string(_MSC_FULL_VER);
#else
    return "unknown";
#endif
}

std::string_view Trim(std::string_view text)
{
    constexpr std::string_view kSpace = " \t\r\n";
    const size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

// Calls `visit` with each line of `text`, without its line break.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        visit(text.substr(start, end - start));
        start = end + 1;
    }
}

// An os-release value: shell-like, in double quotes with backslash escapes,
// in single quotes taken as they are, or bare.
std::string UnquoteShellValue(std::string_view value)
{
    value = Trim(value);
    if (value.empty())
        return {};
    const char quote = value.front();
    if (quote != '"' && quote != '\'')
        return std::string(value);
    std::string text;
    for (size_t i = 1; i < value.size() && value[i] != quote; ++i) {
        if (quote == '"' && value[i] == '\\' && i + 1 < value.size())
            ++i;
        text += value[i];
    }
    return text;
}

}  // namespace

std::string FormatUtcTime(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const sys_seconds seconds = floor<std::chrono::seconds>(time);
    const sys_days day = floor<days>(seconds);
    const year_month_day date(day);
    const hh_mm_ss clock(seconds - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::string TidyCpuName(std::string_view name)
{
    name = name.substr(0, name.find('\0'));
    std::string tidy;
    for (char c : Trim(name)) {
        if (c == '\t')
            c = ' ';
        if (c != ' ' || (!tidy.empty() && tidy.back() != ' '))
            tidy += c;
    }
    return tidy;
}

std::string CpuBrandString()
{
#if defined(__x86_64__) || defined(__i386__)
    constexpr unsigned kFirstBrandLeaf = 0x80000002;
    // GCC declares the highest leaf unsigned, clang int.
    if (static_cast<unsigned>(__get_cpuid_max(0x80000000, nullptr)) < kFirstBrandLeaf + 2)
        return {};
    char brand[48];
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
        unsigned registers[4] = {};
        __cpuid(kFirstBrandLeaf + leaf, registers[0], registers[1], registers[2], registers[3]);
        std::memcpy(brand + 16 * leaf, registers, sizeof registers);
    }
    return TidyCpuName(std::string_view(brand, sizeof brand));
#else
    return {};
#endif
}

std::string OsReleasePrettyName(std::string_view osRelease)
{
    constexpr std::string_view kKey = "PRETTY_NAME=";
    std::string name;
    // Like the shell that sources the file, the last assignment wins.
    ForEachLine(osRelease, [&](std::string_view line) {
        if (line.substr(0, kKey.size()) == kKey)
            name = UnquoteShellValue(line.substr(kKey.size()));
    });
    return name;
}

std::string CpuinfoModelName(std::string_view cpuinfo)
{
    std::string model;
    ForEachLine(cpuinfo, [&](std::string_view line) {
        const size_t colon = line.find(':');
        if (model.empty() && colon != std::string_view::npos && Trim(line.substr(0, colon)) == "model name")
            model = TidyCpuName(line.substr(colon + 1));
    });
    return model;
}

nlohmann::json ProgramDescription()
{
    return {{"name", "tarsel-bench"},
            {"version", TARSEL_VERSION},
            {"commit", TARSEL_COMMIT},
            {"buildType", TARSEL_BUILD_TYPE},
            {"compiler", CompilerName()}};
}

nlohmann::json SystemContext()
{
    std::string model = CpuBrandString();
    if (model.empty())
        model = SystemCpuModel();
    if (model.empty())
        model = "unknown";
    const unsigned cores = std::thread::hardware_concurrency();
    const std::optional<uint64_t> memory = TotalMemoryBytes();

    nlohmann::json context;
    context["program"] = ProgramDescription();
    context["os"] = OsDescription();
    context["cpu"] = {{"model", model}, {"logicalCores", cores > 0 ? nlohmann::json(cores) : nlohmann::json()}};
    context["memory"] = {{"totalBytes", memory ? nlohmann::json(*memory) : nlohmann::json()}};
    context["time"] = FormatUtcTime(std::chrono::system_clock::now());
    return context;
}
