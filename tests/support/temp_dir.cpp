#include "support/temp_dir.h"

#include <random>
#include <stdexcept>
#include <string>

TempDir::TempDir()
{
    // create_directory reports whether it made the folder, so a name another
    // process took meanwhile is simply skipped: portable where mkdtemp is not.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() / ("tarsel-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            m_Path = candidate;
            return;
        }
    }
    throw std::runtime_error("no fresh temporary directory");
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
