#pragma once

#include <cstddef>
#include <cstdint>

// The three-bytes-per-step emulation-prevention removal, kept as the yardstick
// for the faster production conversion.
inline size_t ReferenceNalToRbsp(const uint8_t* nal, size_t nalSize, size_t headerBytes, uint8_t* out, size_t& outSize)
{
    size_t i = headerBytes;
    size_t j = 0;
    while (i + 2 < nalSize) {
        if (nal[i + 2] > 3) {
            out[j++] = nal[i++];
            out[j++] = nal[i++];
            out[j++] = nal[i++];
        } else if (nal[i] == 0 && nal[i + 1] == 0 && nal[i + 2] == 3) {
            out[j++] = 0;
            out[j++] = 0;
            i += 3;
        } else if (nal[i] == 0 && nal[i + 1] == 0 && (nal[i + 2] == 1 || nal[i + 2] == 2)) {
            outSize = j;
            return j;
        } else {
            out[j++] = nal[i++];
        }
    }
    while (i < nalSize)
        out[j++] = nal[i++];
    outSize = j;
    return j;
}
