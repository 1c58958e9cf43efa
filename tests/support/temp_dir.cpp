#include "support/temp_dir.h"

#include <stdexcept>
#include <string>

#include <stdlib.h>

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarsel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_Path = pattern;
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
