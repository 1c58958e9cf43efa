#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bitstream/nal_unit.h"
#include "annexb_fixture.h"
#include "rbsp_reference.h"

namespace {

// Plain byte-by-byte search with the same contract as FindStartCode.
const uint8_t* ReferenceFindStartCode(const uint8_t* from, const uint8_t* end, uint32_t& length)
{
    for (const uint8_t* p = from; end - p >= 4; ++p) {
        if (p[0] == 0 && p[1] == 0 && p[2] == 1) {
            length = (p > from && p[-1] == 0) ? 4 : 3;
            return p + 3;
        }
    }
    length = 0;
    return end;
}

TEST(FindNalUnit, SizesAndStartCodeLengths)
{
    struct Case { Bytes data; int32_t result; uint32_t nalStart; uint32_t nalEnd; uint32_t startCodeLength; };
    const Case cases[] = {
        {{0, 0}, -1, 0, 0, 0},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0, 10, 10, 0},
        {{0, 0, 0, 1, 0x67, 0x42}, 2, 4, 6, 4},
        {{0, 0, 1, 0x67, 0x42}, 2, 3, 5, 3},
        {{0xFF, 0, 0, 1, 0x09, 0xF0}, 2, 4, 6, 3},
        {{0, 0, 0, 0, 0, 1, 0x65}, 1, 6, 7, 4},      // extra leading zeros
        {{0, 0, 1}, 0, 3, 3, 0},                      // start code with nothing after it
        {{0, 0, 1, 0x41, 0, 0, 1}, 4, 3, 7, 3},       // start code in the last three bytes
        {{0, 0, 1, 0x41, 0, 0, 1, 0x41}, 1, 3, 4, 3},
        {{0, 0, 1, 0x41, 0, 0, 0, 1, 0x41}, 1, 3, 4, 3},  // four-byte successor keeps its zero
        {{0, 0, 1, 0x41, 0, 0, 0, 0, 1, 0x41}, 2, 3, 5, 3},  // further zeros stay in the unit
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        uint32_t nalStart = 0, nalEnd = 0, length = 0;
        EXPECT_EQ(FindNalUnit(c.data.data(), c.data.size(), nalStart, nalEnd, length), c.result) << "case " << i;
        if (c.result < 0)
            continue;
        EXPECT_EQ(nalStart, c.nalStart) << "case " << i;
        EXPECT_EQ(nalEnd, c.nalEnd) << "case " << i;
        EXPECT_EQ(length, c.startCodeLength) << "case " << i;
    }
}

// The word filter must find exactly what a plain scan finds, whatever the
// alignment of the search start and however dense the zeros.
TEST(FindStartCode, AgreesWithPlainScanAtEveryOffset)
{
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        Bytes data(96 + round);
        int zeroPercent = round % 3 == 0 ? 90 : round % 3 == 1 ? 50 : 5;
        for (uint8_t& b : data) {
            int r = static_cast<int>(random() % 100);
            b = r < zeroPercent ? 0 : (r % 4 == 0 ? 1 : static_cast<uint8_t>(random()));
        }
        const uint8_t* end = data.data() + data.size();
        for (size_t from = 0; from <= data.size(); ++from) {
            for (size_t cut = 0; cut < 12 && cut <= data.size() - from; ++cut) {
                uint32_t expectedLength = 9, length = 9;
                const uint8_t* expected = ReferenceFindStartCode(data.data() + from, end - cut, expectedLength);
                const uint8_t* found = FindStartCode(data.data() + from, end - cut, length);
                ASSERT_EQ(found, expected) << "round " << round << " from " << from << " cut " << cut;
                ASSERT_EQ(length, expectedLength) << "round " << round << " from " << from << " cut " << cut;
            }
        }
    }
}

TEST(NalToRbsp, RemovesEmulationPreventionAndStopsAtStartCodes)
{
    struct Case { Bytes nal; size_t headerBytes; Bytes rbsp; };
    const Case cases[] = {
        {{0x65, 0, 0, 3, 1}, 1, {0, 0, 1}},
        {{0x65, 0, 0, 3, 3}, 1, {0, 0, 3}},
        {{0x65, 0, 0, 3, 0, 0, 3}, 1, {0, 0, 0, 0}},
        {{0x65, 0, 0, 0, 0}, 1, {0, 0, 0, 0}},
        {{0x65, 0x11, 0, 0, 1, 0x22}, 1, {0x11}},
        {{0x65, 0x11, 0, 0, 2, 0x22}, 1, {0x11}},
        {{0x65, 0, 0, 3}, 1, {0, 0}},                 // 03 as the very last byte
        {{0x65, 0, 0}, 1, {0, 0}},                    // fewer than three bytes left
        {{0x40, 0x01, 0, 0, 3, 2, 0x77}, 2, {0, 0, 2, 0x77}},
        {{0x40, 0x01}, 2, {}},                        // header only
        {{0x40}, 2, {}},                              // shorter than its header
        {{0x65, 0xAA, 0xBB, 0xCC, 0xDD}, 1, {0xAA, 0xBB, 0xCC, 0xDD}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        Bytes out(c.nal.size() + 1, 0xEE);
        size_t outSize = 99;
        size_t result = NalToRbsp(c.nal.data(), c.nal.size(), c.headerBytes, out.data(), outSize);
        EXPECT_EQ(result, outSize) << "case " << i;
        out.resize(outSize);
        EXPECT_EQ(out, c.rbsp) << "case " << i;
    }
}

void ExpectSameConversion(const uint8_t* nal, size_t size, size_t header, const std::string& where)
{
    Bytes expected(size + 1), actual(size + 1);
    size_t expectedSize = 0, actualSize = 0;
    ReferenceNalToRbsp(nal, size, header, expected.data(), expectedSize);
    ASSERT_EQ(NalToRbsp(nal, size, header, actual.data(), actualSize), actualSize) << where;
    ASSERT_EQ(actualSize, expectedSize) << where;
    expected.resize(expectedSize);
    actual.resize(actualSize);
    ASSERT_EQ(actual, expected) << where;
}

// NalToRbsp copies runs between escape candidates; its output must match
// the three-bytes-per-step conversion byte for byte.
TEST(NalToRbsp, MatchesStepConversionOnAdversarialData)
{
    std::mt19937 random(11);
    const uint8_t alphabet[] = {0, 0, 0, 1, 2, 3, 3, 4, 0xFF};
    for (int round = 0; round < 400; ++round) {
        size_t size = 1 + random() % 80;
        Bytes nal(size);
        bool dense = round % 2 == 0;
        for (uint8_t& b : nal)
            b = dense ? alphabet[random() % std::size(alphabet)] : static_cast<uint8_t>(random() % 8 == 0 ? 0 : random());
        for (size_t header : {size_t(0), size_t(1), size_t(2)}) {
            for (size_t offset = 0; offset < size; ++offset)
                ExpectSameConversion(nal.data() + offset, size - offset, header,
                                     "round " + std::to_string(round) + " offset " + std::to_string(offset));
        }
    }
}

// Patterns where escapes sit at the very start, the very end or back to back,
// at every length; and real encoder output, every NAL unit of every fixture.
TEST(NalToRbsp, MatchesStepConversionOnEdgePatternsAndRealUnits)
{
    const Bytes patterns[] = {
        {0, 0, 3}, {0, 0, 3, 0, 0, 3, 0, 0, 3}, {0, 0, 3, 3, 0, 0, 3, 3}, {0, 0, 0, 3, 0, 0},
        {0, 0, 0, 0, 0, 0, 0, 0, 1}, {0x80, 0, 0, 3}, {0, 0, 2, 0, 0, 3}, {0, 0, 3, 0, 0, 1, 0, 0, 3},
    };
    for (const Bytes& pattern : patterns) {
        for (size_t pad = 0; pad < 40; ++pad) {
            Bytes front(pad, 0x9C);
            front.insert(front.end(), pattern.begin(), pattern.end());
            Bytes back = pattern;
            back.insert(back.end(), pad, 0x9C);
            for (size_t header : {size_t(0), size_t(1), size_t(2)}) {
                ExpectSameConversion(front.data(), front.size(), header, "front pad " + std::to_string(pad));
                ExpectSameConversion(back.data(), back.size(), header, "back pad " + std::to_string(pad));
            }
        }
    }
    Bytes zeros(4096, 0);
    for (size_t i = 0; i < zeros.size(); i += 7)
        zeros[i] = static_cast<uint8_t>(i % 5);
    ExpectSameConversion(zeros.data(), zeros.size(), 1, "dense zeros");

    size_t units = 0;
    for (const char* name : {"baseline", "main_b", "high_slices", "lossless444", "hrd_cbr"}) {
        for (const Bytes& unit : SplitNalUnits(ReadFileBytes(H264FixturePath(std::string(name) + ".264")))) {
            ExpectSameConversion(unit.data(), unit.size(), 1, name);
            ++units;
        }
    }
    EXPECT_GT(units, 20u);
}

TEST(CeilLog2, SmallestPowerAtOrAbove)
{
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {8, 3}, {9, 4},
        {0x80000000u, 31}, {0x80000001u, 32}, {0xFFFFFFFFu, 32},
    };
    for (auto [x, expected] : cases)
        EXPECT_EQ(CeilLog2(x), expected) << x;
}

} // namespace
