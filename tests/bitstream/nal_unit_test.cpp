#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/nal_unit.h"
#include "bitstream/start_code_scan.h"

namespace {

TEST(FindNalUnit, SizesAndStartCodeLengths)
{
    struct Case { Bytes data; int32_t result; uint32_t nalStart, nalEnd, startCodeLength; };
    const Case cases[] = {
        {{0, 0}, -1, 0, 0, 0},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0, 10, 10, 0},
        {{0, 0, 0, 0, 0, 1, 0x65}, 1, 6, 7, 4},             // extra leading zeros
        {{0, 0, 1}, 0, 3, 3, 0},                             // start code with nothing after it
        {{0, 0, 1, 0x41, 0, 0, 1}, 4, 3, 7, 3},              // start code in the last three bytes
        {{0, 0, 1, 0x41, 0, 0, 0, 1, 0x41}, 1, 3, 4, 3},     // four-byte successor keeps its zero
        {{0, 0, 1, 0x41, 0, 0, 0, 0, 1, 0x41}, 2, 3, 5, 3},  // further zeros stay in the unit
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        uint32_t nalStart = 0, nalEnd = 0, length = 0;
        ASSERT_EQ(FindNalUnit(c.data.data(), c.data.size(), nalStart, nalEnd, length), c.result) << "case " << i;
        if (c.result >= 0) {
            EXPECT_EQ(std::vector<uint32_t>({nalStart, nalEnd, length}), std::vector<uint32_t>({c.nalStart, c.nalEnd, c.startCodeLength})) << "case " << i;
        }
    }
}

// The plain three-bytes-per-step removal, the yardstick for the faster conversion.
Bytes StepConversion(const Bytes& nal, size_t i)
{
    Bytes out;
    while (i + 2 < nal.size()) {
        if (nal[i] == 0 && nal[i + 1] == 0 && nal[i + 2] <= 3 && nal[i + 2] != 0) {
            if (nal[i + 2] != 3)
                return out;  // an embedded start code ends the RBSP
            out.insert(out.end(), {0, 0});
            i += 3;
        } else {
            out.push_back(nal[i++]);
        }
    }
    out.insert(out.end(), nal.begin() + static_cast<long>(std::min(i, nal.size())), nal.end());
    return out;
}

// The run-copying conversion must match the step conversion byte for byte
// on dense random data at every offset.
TEST(NalToRbsp, MatchesStepConversion)
{
    std::mt19937 random(11);
    const uint8_t alphabet[] = {0, 0, 0, 1, 2, 3, 3, 4, 0xFF};
    for (int round = 0; round < 300; ++round) {
        Bytes nal(1 + random() % 80);
        for (uint8_t& b : nal)
            b = round % 2 ? alphabet[random() % std::size(alphabet)] : static_cast<uint8_t>(random() % 8 ? random() : 0);
        for (size_t offset = 0; offset < nal.size(); ++offset) {
            Bytes tail(nal.begin() + static_cast<long>(offset), nal.end());
            for (size_t header : {0, 1, 2}) {
                Bytes out(tail.size() + 1, 0xEE);
                size_t outSize = 99;
                ASSERT_EQ(NalToRbsp(tail.data(), tail.size(), header, out.data(), outSize), outSize) << round;
                out.resize(outSize);
                ASSERT_EQ(out, StepConversion(tail, header)) << "round " << round << " offset " << offset << " header " << header;
            }
        }
    }
}

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

// Each scan must walk to the start codes the plain scan walks to, with one
// start code at each position of a buffer that spans several 64-byte
// steps, on a background with no zeros, one of zeros only and one of near
// misses (00 FF 01). Each search starts at every offset and ends where the
// start code is the last three bytes, where one byte follows it, or at the
// buffer's end. The bytes up to that end sit in a 64-byte aligned block of
// exactly that size, so the offset is also the alignment and any access
// past the end shows under the address sanitizer.
TEST(StartCodeScan, EveryVariantAgreesWithAPlainScanAtEveryAlignmentAndAtBothEnds)
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
                    SCOPED_TRACE(testing::Message() << "background " << int(background.back()) << " at " << at << " from " << from << " to " << stop);
                    const std::vector<uint32_t> expected = Walk(ReferenceScan, block + from, block + stop);
                    for (const StartCodeScanVariant& variant : StartCodeScanVariants()) {
                        ASSERT_EQ(Walk(variant.scan, block + from, block + stop), expected) << variant.name;
                        // Each copy leaves the same bytes and lists the same start codes.
                        Bytes copied(stop - from);
                        std::vector<uint32_t> starts;
                        variant.copy(copied.data(), block + from, copied.size(), starts);
                        ASSERT_TRUE(std::equal(copied.begin(), copied.end(), block + from)) << variant.name;
                        ASSERT_EQ(starts, expected) << variant.name;
                    }
                }
                ::operator delete[](block, kAlignment);
            }
        }
    }
}

} // namespace
