#include "support/temp_dir.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

// A random name of 64 bits; create_directory says whether it made the folder,
// so a name taken meanwhile fails plainly: portable where mkdtemp is not.
TempDir::TempDir()
    : m_Path(std::filesystem::temp_directory_path() / ("tarsel-test-" + std::to_string(std::random_device()()) + "-" +
                                                       std::to_string(std::random_device()())))
{
    if (!std::filesystem::create_directory(m_Path))
        throw std::runtime_error("no fresh temporary directory: " + m_Path.string());
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_Path, ignored);
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::filesystem::path& path) : m_Previous(std::filesystem::current_path())
{
    std::filesystem::current_path(path);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory()
{
    std::error_code ignored;
    std::filesystem::current_path(m_Previous, ignored);
}

std::string FileContents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string WriteFileContents(const std::filesystem::path& path, const std::string& contents)
{
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
    // A fixture that was not written would fail the test somewhere far from here.
    if (!file.flush())
        throw std::runtime_error("cannot write " + path.string());
    return path.string();
}
