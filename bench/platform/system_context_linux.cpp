#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>

#include "bench/system_context.h"

namespace {

// The start of a small text file from /etc or /proc; empty when unreadable.
std::string ReadSystemFile(const char* path)
{
    constexpr std::streamsize kMaxBytes = 1024 * 1024;
    std::ifstream file(path);
    std::string text(kMaxBytes, '\0');
    file.read(text.data(), kMaxBytes);
    text.resize(static_cast<size_t>(file.gcount()));
    return text;
}

}  // namespace

nlohmann::json OsDescription()
{
    utsname names{};
    if (uname(&names) != 0)
        return {{"name", "Linux"}, {"release", nullptr}, {"build", nullptr}, {"description", nullptr}};
    // os-release lives in /etc, or only in /usr/lib on some systems.
    std::string description = OsReleasePrettyName(ReadSystemFile("/etc/os-release"));
    if (description.empty())
        description = OsReleasePrettyName(ReadSystemFile("/usr/lib/os-release"));
    if (description.empty())
        description = std::string(names.sysname) + " " + names.release;
    return {{"name", names.sysname}, {"release", names.release}, {"build", nullptr}, {"description", description}};
}

std::string SystemCpuModel()
{
    return CpuinfoModelName(ReadSystemFile("/proc/cpuinfo"));
}

std::optional<uint64_t> TotalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::nullopt;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}
