#include <windows.h>

#include "bench/system_context.h"

namespace {

// A function of a system DLL that is always loaded; null when it lacks it.
template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name)
{
    HMODULE handle = GetModuleHandleW(module);
    if (!handle)
        return nullptr;
    // Through the generic function type, which casts to any other without a
    // warning about the mismatch.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

std::string Utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size - 1));
    return utf8;
}

}  // namespace

nlohmann::json OsDescription()
{
    // GetVersionEx answers what the program's manifest declares it supports;
    // RtlGetVersion answers the real version.
    using RtlGetVersionFunction = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
    nlohmann::json os = {{"name", "Windows"}, {"release", nullptr}, {"build", nullptr}, {"description", nullptr}};
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const auto getVersion = SystemFunction<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
    if (getVersion && getVersion(&version) == 0) {
        const std::string release = std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion);
        os["release"] = release;
        os["build"] = version.dwBuildNumber;
        os["description"] = "Windows " + release + "." + std::to_string(version.dwBuildNumber);
    }
    // Wine's ntdll alone exports its version.
    using WineVersionFunction = const char*(CDECL*)();
    const auto wineVersion = SystemFunction<WineVersionFunction>(L"ntdll.dll", "wine_get_version");
    if (wineVersion) {
        const char* text = wineVersion();
        os["wine"] = text ? text : "";
    }
    return os;
}

std::string SystemCpuModel()
{
    wchar_t name[256] = {};
    DWORD size = sizeof name;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                     L"ProcessorNameString", RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS)
        return {};
    return TidyCpuName(Utf8(name));
}

std::optional<uint64_t> TotalMemoryBytes()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status) || status.ullTotalPhys == 0)
        return std::nullopt;
    return static_cast<uint64_t>(status.ullTotalPhys);
}
