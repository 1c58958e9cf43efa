#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/start_code_scan.h"

namespace {

// Plain byte-by-byte search with the contract every scan must keep.
const uint8_t* ReferenceScan(const uint8_t* from, const uint8_t* end)
{
    for (const uint8_t* p = from; end - p >= 4; ++p) {
        if (p[0] == 0 && p[1] == 0 && p[2] == 1)
            return p;
    }
    return end;
}

// Every start code found walking [from, end), as offsets from `from`.
std::vector<size_t> Walk(StartCodeScan scan, const uint8_t* from, const uint8_t* end)
{
    std::vector<size_t> found;
    for (const uint8_t* p = from; (p = scan(p, end)) != end; ++p)
        found.push_back(static_cast<size_t>(p - from));
    return found;
}

// One start code at each position of a buffer that spans several 64-byte
// steps, on a background with no zeros, one of zeros only and one of near
// misses (00 FF 01); each search
// starts at every offset and ends at every cut that leaves the start code at
// the very end, just past it or far from it. The bytes up to the cut sit in
// a 64-byte aligned block of exactly that size, so the offset is also the
// alignment and any read past the end shows under the address sanitizer.
TEST(StartCodeScan, EveryVariantFindsACraftedStartCodeAtEveryAlignmentAndAtBothEnds)
{
    constexpr size_t kSize = 200;
    constexpr std::align_val_t kAlignment{64};
    for (const StartCodeScanVariant& variant : StartCodeScanVariants()) {
        for (const Bytes& background : {Bytes{0xFF}, Bytes{0x00}, Bytes{0x00, 0xFF, 0x01}}) {
            for (size_t at = 0; at + 3 <= kSize; ++at) {
                Bytes data(kSize);
                for (size_t i = 0; i < kSize; ++i)
                    data[i] = background[i % background.size()];
                data[at] = data[at + 1] = 0;
                data[at + 2] = 1;
                for (size_t stop : {at + 3, at + 4, at + 5, kSize}) {
                    if (stop > kSize)
                        continue;
                    auto* block = static_cast<uint8_t*>(::operator new[](stop, kAlignment));
                    std::copy(data.begin(), data.begin() + static_cast<long>(stop), block);
                    for (size_t from = 0; from <= at + 1; ++from) {
                        ASSERT_EQ(variant.scan(block + from, block + stop), ReferenceScan(block + from, block + stop))
                            << variant.name << " background " << int(background.back()) << " at " << at << " from " << from
                            << " to " << stop;
                    }
                    ::operator delete[](block, kAlignment);
                }
            }
        }
    }
}

// Every start code of real access units, whichever offset the walk starts
// at and however much of the end is cut off.
TEST(StartCodeScan, EveryVariantWalksRealAccessUnitsLikeThePlainScan)
{
    const char* frames[] = {"h264/1280_720/frame_0.frame", "h264/1280_720/frame_1.frame",
                            "h265/1280_720/frame_0.frame", "h265/1920_1080/frame_2.frame"};
    for (const char* frame : frames) {
        Bytes au = LoadFrameAccessUnit(frame);
        ASSERT_GT(au.size(), 1000u) << frame;
        for (const StartCodeScanVariant& variant : StartCodeScanVariants()) {
            for (size_t shift = 0; shift < 70; ++shift) {
                SCOPED_TRACE(std::string(variant.name) + " " + frame + " shift " + std::to_string(shift));
                const uint8_t* begin = au.data();
                const uint8_t* end = au.data() + au.size();
                ASSERT_EQ(Walk(variant.scan, begin + shift, end), Walk(ReferenceScan, begin + shift, end));
                ASSERT_EQ(Walk(variant.scan, begin, end - shift), Walk(ReferenceScan, begin, end - shift));
            }
        }
    }
}

}  // namespace
