#include "bench/program_code.h"

size_t ReadProgramCode()
{
    constexpr size_t kCacheLine = 64;
    size_t bytes = 0;
    unsigned sum = 0;
    for (std::span<const std::byte> range : ProgramCodeRanges()) {
        const volatile std::byte* line = range.data();
        for (size_t offset = 0; offset < range.size(); offset += kCacheLine)
            sum += static_cast<unsigned>(line[offset]);
        bytes += range.size();
    }
    // The loads are volatile; the sum only keeps them visibly used.
    static_cast<void>(sum);
    return bytes;
}
