// Replays saved inputs through a harness without libFuzzer, so the normal and
// sanitizer builds run the corpus and every kept finding on each test run.
// Arguments are files or directories (searched recursively).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> files;
    for (int index = 1; index < argc; ++index)
        if (!std::filesystem::is_directory(argv[index]))
            files.push_back(argv[index]);
        else
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[index]))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
    // Same order on every machine, so a failure reproduces the same way.
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream file(path, std::ios::binary);
        // A string's data() is never null, as the harness needs even for no bytes.
        std::string bytes{std::istreambuf_iterator<char>(file), {}};
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    // A run that found nothing to replay is a broken set-up, not a pass.
    return files.empty() ? 1 : 0;
}
