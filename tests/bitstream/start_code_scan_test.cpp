#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <new>
#include <random>
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
std::vector<size_t> Walk(StartCodeScan scan, const uint8_t* from, const uint8_t* end)
{
    std::vector<size_t> found;
    for (const uint8_t* p = from; (p = scan(p, end)) != end; ++p)
        found.push_back(static_cast<size_t>(p - from));
    return found;
}

// The copy must leave the same bytes and list what the plain scan walks to.
void ExpectCopyFinds(const StartCodeScanVariant& variant, const uint8_t* from, const uint8_t* end)
{
    Bytes copied(static_cast<size_t>(end - from));
    std::vector<uint32_t> starts;
    variant.copy(copied.data(), from, copied.size(), starts);
    ASSERT_TRUE(std::equal(copied.begin(), copied.end(), from)) << variant.name;
    ASSERT_EQ(std::vector<size_t>(starts.begin(), starts.end()), Walk(ReferenceScan, from, end)) << variant.name;
}

// The NAL units of a buffer, as (nalStart, nalEnd, startCodeLength, result)
// from the buffer's start, split by FindNalUnit or from the copy's list.
using NalSplit = std::vector<std::array<int64_t, 4>>;

NalSplit SplitByScanning(const Bytes& data)
{
    NalSplit units;
    for (size_t from = 0;;) {
        uint32_t nalStart = 0, nalEnd = 0, length = 0;
        int32_t result = FindNalUnit(data.data() + from, data.size() - from, nalStart, nalEnd, length);
        if (result < 0)
            return units;  // nothing else is set
        units.push_back({int64_t(from + nalStart), int64_t(from + nalEnd), length, result});
        if (result < 1)
            return units;
        from += nalEnd;
    }
}

NalSplit SplitByIndex(const Bytes& data)
{
    Bytes copied(data.size());
    std::vector<uint32_t> starts;
    CopyFindingStartCodes(copied.data(), data.data(), data.size(), starts);
    NalSplit units;
    for (size_t from = 0, next = 0;;) {
        uint32_t nalStart = 0, nalEnd = 0, length = 0;
        int32_t result = FindNalUnitInIndex(data.data(), data.size(), from, starts, next, nalStart, nalEnd, length);
        if (result < 0)
            return units;
        units.push_back({nalStart, nalEnd, length, result});
        if (result < 1)
            return units;
        from = nalEnd;
    }
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
    for (const StartCodeScanVariant& variant : StartCodeScanVariants()) {
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
                        ASSERT_EQ(variant.scan(block + from, block + stop), ReferenceScan(block + from, block + stop))
                            << variant.name;
                        ExpectCopyFinds(variant, block + from, block + stop);
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
                ExpectCopyFinds(variant, begin + shift, end);
                ExpectCopyFinds(variant, begin, end - shift);
            }
        }
    }
}

// The decoder splits access units from the list its copy made: the NAL units
// must be those FindNalUnit finds, on real access units cut anywhere near
// their ends and on buffers dense with zeros, ones and start codes.
TEST(StartCodeScan, SplittingFromTheCopysListMatchesFindNalUnit)
{
    std::vector<Bytes> buffers;
    for (const char* frame : {"h264/1280_720/frame_0.frame", "h265/1280_720/frame_0.frame"}) {
        Bytes au = LoadFrameAccessUnit(frame);
        for (size_t cut = 0; cut < 8; ++cut)
            buffers.emplace_back(au.begin() + static_cast<long>(cut), au.end() - static_cast<long>(cut));
    }
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        Bytes data(static_cast<size_t>(round));
        for (uint8_t& byte : data)
            byte = static_cast<uint8_t>(random() % (round % 2 ? 3 : 40));
        buffers.push_back(data);
    }
    for (const Bytes& data : buffers)
        ASSERT_EQ(SplitByIndex(data), SplitByScanning(data)) << testing::PrintToString(data.size());
}

}  // namespace
