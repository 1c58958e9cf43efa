#pragma once

#include <filesystem>
#include <string>

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_Path; }

private:
    std::filesystem::path m_Path;
};

// Changes the working directory for the lifetime of the object.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::filesystem::path& path);
    ~ScopedWorkingDirectory();

private:
    std::filesystem::path m_Previous;
};

// A file's bytes; empty when it cannot be read.
std::string FileContents(const std::filesystem::path& path);
// Writes a file whole, making the folders above it; gives back its path.
// Throws when the file cannot be written.
std::string WriteFileContents(const std::filesystem::path& path, const std::string& contents);
