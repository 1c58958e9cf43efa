#pragma once

#include <array>
#include <cstdint>

// Raster indices (row * size + column) of a square block visited in the
// up-right diagonal scan of H.265 clause 6.5.3: each anti-diagonal from its
// bottom-left end to its top-right end.
template <uint32_t kSize>
constexpr std::array<uint8_t, kSize * kSize> MakeUpRightDiagonalScan()
{
    std::array<uint8_t, kSize * kSize> scan{};
    uint32_t position = 0;
    for (uint32_t diagonal = 0; diagonal < 2 * kSize - 1; ++diagonal) {
        for (uint32_t x = 0; x <= diagonal; ++x) {
            const uint32_t y = diagonal - x;
            if (x < kSize && y < kSize)
                scan[position++] = static_cast<uint8_t>(y * kSize + x);
        }
    }
    return scan;
}

inline constexpr std::array<uint8_t, 16> kUpRightDiagonalScan4x4 = MakeUpRightDiagonalScan<4>();
inline constexpr std::array<uint8_t, 64> kUpRightDiagonalScan8x8 = MakeUpRightDiagonalScan<8>();
