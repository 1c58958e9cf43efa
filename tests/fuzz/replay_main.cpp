// Replays saved inputs through a harness without libFuzzer, so the normal and
// sanitizer builds run the corpus and every kept finding on each test run.
// Arguments are files or directories (searched recursively).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // An empty vector's data() may be null; the harness must see a valid pointer.
    static const uint8_t kNothing = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t replayed = 0;
    bool ok = true;
    for (int index = 1; index < argc; ++index) {
        std::filesystem::path root(argv[index]);
        std::error_code error;
        if (std::filesystem::is_directory(root, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            // Same order on every machine, so a failure reproduces the same way.
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                ok = Replay(file) && ok;
                ++replayed;
            }
        } else if (std::filesystem::is_regular_file(root, error)) {
            ok = Replay(root) && ok;
            ++replayed;
        } else {
            std::fprintf(stderr, "no such input: %s\n", root.c_str());
            ok = false;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    // A run that found nothing to replay is a broken set-up, not a pass.
    return ok && replayed > 0 ? 0 : 1;
}
