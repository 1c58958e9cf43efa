// The least work any decoder needs per frame file: open it, read(2) it whole
// into a reused buffer and copy its payload once. Prints, for each case
// directory given, the nanoseconds that took for all its frames, as JSON:
//   frame-read-floor <frames per case> <dir>... -> {"<dir>": ns, ...}
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kHeaderSize = 5;

bool ReadWhole(const std::string& path, std::vector<unsigned char>& buffer, size_t& size)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = fstat(fd, &info) == 0;
    size = ok ? static_cast<size_t>(info.st_size) : 0;
    if (ok && buffer.size() < size)
        buffer.resize(size);
    size_t done = 0;
    while (ok && done < size) {
        ssize_t n = read(fd, buffer.data() + done, size - done);
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    close(fd);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: frame-read-floor <frames per case> <case directory>...\n");
        return 2;
    }
    int frames = std::atoi(argv[1]);
    std::vector<unsigned char> file, payload;
    std::printf("{");
    for (int c = 2; c < argc; ++c) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i) {
            std::string path = std::string(argv[c]) + "frame_" + std::to_string(i) + ".frame";
            size_t size = 0;
            if (!ReadWhole(path, file, size) || size < kHeaderSize) {
                std::fprintf(stderr, "frame-read-floor: cannot read %s\n", path.c_str());
                return 1;
            }
            if (payload.size() < size)
                payload.resize(size);
            std::memcpy(payload.data(), file.data() + kHeaderSize, size - kHeaderSize);
        }
        auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
        std::printf("%s\"%s\":%lld", c > 2 ? "," : "", argv[c], static_cast<long long>(elapsed.count()));
    }
    std::printf("}\n");
    return 0;
}
