#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <new>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/nal_unit.h"
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
std::vector<uint32_t> Walk(StartCodeScan scan, const uint8_t* from, const uint8_t* end)
{
    std::vector<uint32_t> found;
    for (const uint8_t* p = from; (p = scan(p, end)) != end; ++p)
        found.push_back(static_cast<uint32_t>(p - from));
    return found;
}

// Each scan walks to the start codes the plain scan walks to; each copy
// leaves the same bytes and lists the same start codes.
void ExpectAgreement(const StartCodeScanVariant& variant, const uint8_t* from, const uint8_t* end)
{
    std::vector<uint32_t> expected = Walk(ReferenceScan, from, end);
    ASSERT_EQ(Walk(variant.scan, from, end), expected) << variant.name;
    Bytes copied(static_cast<size_t>(end - from));
    std::vector<uint32_t> starts;
    variant.copy(copied.data(), from, copied.size(), starts);
    ASSERT_TRUE(std::equal(copied.begin(), copied.end(), from)) << variant.name;
    ASSERT_EQ(starts, expected) << variant.name;
}

// One start code at each position of a buffer that spans several 64-byte
// steps, on a background with no zeros, one of zeros only and one of near
// misses (00 FF 01). Each search starts at every offset and ends where the
// start code is the last three bytes, where one byte follows it, or at the
// buffer's end. The bytes up to that end sit in a 64-byte aligned block of
// exactly that size, so the offset is also the alignment and any access
// past the end shows under the address sanitizer.
TEST(StartCodeScan, EveryVariantFindsACraftedStartCodeAtEveryAlignmentAndAtBothEnds)
{
    constexpr size_t kSize = 160;
    constexpr std::align_val_t kAlignment{64};
    for (const Bytes& background : {Bytes{0xFF}, Bytes{0x00}, Bytes{0x00, 0xFF, 0x01}}) {
        for (size_t at = 0; at + 3 <= kSize; ++at) {
            Bytes data(kSize);
            for (size_t i = 0; i < kSize; ++i)
                data[i] = background[i % background.size()];
            data[at] = data[at + 1] = 0;
            data[at + 2] = 1;
            for (size_t stop : {at + 3, at + 4, kSize}) {
                if (stop > kSize)
                    continue;
                auto* block = static_cast<uint8_t*>(::operator new[](stop, kAlignment));
                std::copy(data.begin(), data.begin() + static_cast<long>(stop), block);
                for (size_t from = 0; from <= at + 1; ++from) {
                    SCOPED_TRACE(testing::Message() << "background " << int(background.back()) << " at " << at
                                                    << " from " << from << " to " << stop);
                    for (const StartCodeScanVariant& variant : StartCodeScanVariants())
                        ExpectAgreement(variant, block + from, block + stop);
                }
                ::operator delete[](block, kAlignment);
            }
        }
    }
}

// The NAL units of a buffer as (nalStart, nalEnd, startCodeLength, result),
// split by FindNalUnit or, as the decoder does, from the copy's list.
std::vector<std::array<int64_t, 4>> Split(std::span<const uint8_t> data, bool fromCopysList)
{
    Bytes copied(data.size());
    std::vector<uint32_t> starts;
    CopyFindingStartCodes(copied.data(), data.data(), data.size(), starts);
    std::vector<std::array<int64_t, 4>> units;
    for (size_t from = 0, next = 0;;) {
        uint32_t nalStart = 0, nalEnd = 0, length = 0;
        int32_t result = fromCopysList
                             ? FindNalUnitInIndex(data.data(), data.size(), from, starts, next, nalStart, nalEnd, length)
                             : FindNalUnit(data.data() + from, data.size() - from, nalStart, nalEnd, length);
        size_t base = fromCopysList ? 0 : from;
        if (result >= 0)  // nothing else is set on -1
            units.push_back({int64_t(base + nalStart), int64_t(base + nalEnd), length, result});
        if (result < 1)
            return units;
        from = base + nalEnd;
    }
}

// Real access units, cut at every offset near either end, and buffers dense
// with zeros, ones and start codes: the scans and copies find what the plain
// scan finds, and the decoder's split from the copy's list is FindNalUnit's.
TEST(StartCodeScan, EveryVariantAndTheSplitAgreeOnRealAndDenseBuffers)
{
    std::vector<Bytes> owned;
    std::vector<std::span<const uint8_t>> buffers;
    for (const char* frame : {"h264/1280_720/frame_0.frame", "h264/1280_720/frame_1.frame",
                              "h265/1280_720/frame_0.frame", "h265/1920_1080/frame_2.frame"}) {
        const Bytes& au = owned.emplace_back(LoadFrameAccessUnit(frame));
        ASSERT_GT(au.size(), 1000u) << frame;
        for (size_t cut = 0; cut < 70; ++cut) {
            buffers.emplace_back(au.data() + cut, au.size() - cut);
            buffers.emplace_back(au.data(), au.size() - cut);
        }
    }
    std::mt19937 random(11);
    for (size_t size = 0; size < 300; ++size) {
        Bytes& data = owned.emplace_back(size);
        for (uint8_t& byte : data)
            byte = static_cast<uint8_t>(random() % (size % 2 ? 3 : 40));
        buffers.emplace_back(data);
    }
    for (std::span<const uint8_t> data : buffers) {
        SCOPED_TRACE(data.size());
        for (const StartCodeScanVariant& variant : StartCodeScanVariants())
            ExpectAgreement(variant, data.data(), data.data() + data.size());
        ASSERT_EQ(Split(data, true), Split(data, false));
    }
}

}  // namespace
