#include <filesystem>

#include <windows.h>

#include "logging/log_files.h"

namespace {

std::error_code LastError()
{
    return {static_cast<int>(GetLastError()), std::system_category()};
}

std::wstring WideName(const std::string& name)
{
    return std::filesystem::path(name).wstring();
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class WindowsLogFile final : public LogFile {
public:
    explicit WindowsLogFile(HANDLE handle) : m_Handle(handle) {}
    ~WindowsLogFile() override { CloseHandle(m_Handle); }
    WindowsLogFile(const WindowsLogFile&) = delete;
    WindowsLogFile& operator=(const WindowsLogFile&) = delete;

    std::error_code Append(const char* data, size_t size, size_t& written) override
    {
        // Windows appends atomically through an append-only handle, but Wine
        // finds the end and writes there in two steps, so two instances
        // overwrite each other's lines unless they take turns.
        const bool locked = Lock();
        std::error_code error;
        written = 0;
        while (written < size && !error) {
            DWORD piece = 0;
            const DWORD chunk = size - written > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size - written);
            if (!WriteFile(m_Handle, data + written, chunk, &piece, nullptr))
                error = LastError();
            written += piece;
        }
        if (locked)
            Unlock();
        return error;
    }

    uint64_t Size() override
    {
        LARGE_INTEGER size{};
        return GetFileSizeEx(m_Handle, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }

    bool IsNamed(const std::string& name) override
    {
        // Attribute access conflicts with no holder's sharing mode.
        HANDLE named = CreateFileW(WideName(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (named == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
        }
        BY_HANDLE_FILE_INFORMATION ours{}, theirs{};
        const bool known = GetFileInformationByHandle(m_Handle, &ours) && GetFileInformationByHandle(named, &theirs);
        CloseHandle(named);
        return !known || (ours.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
                          ours.nFileIndexHigh == theirs.nFileIndexHigh && ours.nFileIndexLow == theirs.nFileIndexLow);
    }

    // The last byte any file can have: its lock stands in nobody's way.
    bool Lock() override
    {
        return WaitForLock([this] {
            OVERLAPPED lastByte = LastByte();
            if (LockFileEx(m_Handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lastByte))
                return LockTry::taken;
            return GetLastError() == ERROR_LOCK_VIOLATION ? LockTry::busy : LockTry::failed;
        });
    }

    void Unlock() override
    {
        OVERLAPPED lastByte = LastByte();
        UnlockFileEx(m_Handle, 0, 1, 0, &lastByte);
    }

private:
    static OVERLAPPED LastByte()
    {
        OVERLAPPED lastByte{};
        lastByte.Offset = 0xFFFFFFFE;
        lastByte.OffsetHigh = 0x7FFFFFFF;
        return lastByte;
    }

    HANDLE m_Handle;
};

}  // namespace

std::unique_ptr<LogFile> LogFileSystem::Open(const std::string& name, std::error_code& error)
{
    // Append-only access: the system writes each piece at the current end,
    // where the C runtime's append mode would seek first and race other
    // writers. Reading is there only because byte-range locks need it.
    // Sharing deletion lets another instance rename the file.
    HANDLE handle = CreateFileW(WideName(name).c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                                kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
        return nullptr;
    }
    error.clear();
    return std::make_unique<WindowsLogFile>(handle);
}

std::error_code LogFileSystem::Rename(const std::string& from, const std::string& to)
{
    // No MOVEFILE_REPLACE_EXISTING: an existing `to` makes it fail.
    return MoveFileExW(WideName(from).c_str(), WideName(to).c_str(), 0) ? std::error_code() : LastError();
}
