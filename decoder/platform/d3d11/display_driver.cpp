#include "decoder/platform/d3d11/display_driver.h"

#include <cwchar>

#include <fmt/format.h>

#include "decoder/platform/driver_date.h"

#include <windows.h>
#include <setupapi.h>
// The display class's GUID defined here, not looked for in a library.
#include <initguid.h>
#include <devguid.h>

namespace platform {

namespace {

// Hardware ids name the PCI ids first: "PCI\VEN_10DE&DEV_2484&SUBSYS_146710DE&REV_A1".
bool NamesDevice(const wchar_t* hardwareId, const std::wstring& prefix)
{
    return _wcsnicmp(hardwareId, prefix.c_str(), prefix.size()) == 0 &&
           (hardwareId[prefix.size()] == L'\0' || hardwareId[prefix.size()] == L'&');
}

bool HasHardwareId(HDEVINFO devices, SP_DEVINFO_DATA& device, const std::wstring& prefix)
{
    // A list of strings ended by an empty one; the two NULs kept past what
    // the call may write end it even where the device's own list does not.
    constexpr DWORD kLength = 2048;
    wchar_t ids[kLength + 2] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE*>(ids),
                                           kLength * sizeof(wchar_t), nullptr) ||
        type != REG_MULTI_SZ)
        return false;
    for (const wchar_t* id = ids; *id != L'\0'; id += std::wcslen(id) + 1) {
        if (NamesDevice(id, prefix))
            return true;
    }
    return false;
}

std::optional<std::string> ReadDriverDate(HKEY key)
{
    wchar_t text[32] = {};
    DWORD type = 0;
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"DriverDate", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::string narrow;
    for (size_t index = 0; index < size / sizeof(wchar_t) && text[index] != L'\0'; ++index) {
        if (text[index] > 0x7F)
            return std::nullopt;
        narrow += static_cast<char>(text[index]);
    }
    return DriverDateText(narrow);
}

}  // namespace

std::optional<std::string> DisplayDriverDate(uint32_t vendorId, uint32_t deviceId)
{
    // PCI has no vendor 0: an adapter that says 0 (the simulated device's, a
    // test's) is no PCI device, and must not match a display device that
    // Wine lists with zero ids.
    if (vendorId == 0 || vendorId > 0xFFFF || deviceId > 0xFFFF)
        return std::nullopt;
    const std::string ids = fmt::format("PCI\\VEN_{:04X}&DEV_{:04X}", vendorId, deviceId);
    const std::wstring prefix(ids.begin(), ids.end());

    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_DISPLAY, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<std::string> date;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    // Cards of one model share their driver: the first found answers.
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        if (!HasHardwareId(devices, device, prefix))
            continue;
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            date = ReadDriverDate(key);
            RegCloseKey(key);
        }
        break;
    }
    SetupDiDestroyDeviceInfoList(devices);
    return date;
}

}  // namespace platform
