// Replays saved inputs through a harness without libFuzzer, so the normal and
// sanitizer builds run the corpus and every kept finding on each test run.
// Arguments are files or directories (searched recursively).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> files;
    for (int index = 1; index < argc; ++index) {
        std::error_code error;
        if (!std::filesystem::is_directory(argv[index], error))
            files.push_back(argv[index]);
        else
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[index]))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
    }
    // Same order on every machine, so a failure reproduces the same way.
    std::sort(files.begin(), files.end());
    // A run that found nothing to replay is a broken set-up, not a pass.
    bool ok = !files.empty();
    for (const auto& path : files) {
        std::ifstream file(path, std::ios::binary);
        if (!file || !std::filesystem::is_regular_file(path)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            ok = false;
            continue;
        }
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        // An empty vector's data() may be null; the harness must see a valid pointer.
        static const uint8_t kNothing = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return ok ? 0 : 1;
}
