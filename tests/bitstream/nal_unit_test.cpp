#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "annexb_fixture.h"
#include "bitstream/nal_unit.h"

namespace {

TEST(FindNalUnit, SizesAndStartCodeLengths)
{
    struct Case { Bytes data; int32_t result; uint32_t nalStart, nalEnd, startCodeLength; };
    const Case cases[] = {
        {{0, 0}, -1, 0, 0, 0},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 0, 10, 10, 0},
        {{0, 0, 0, 1, 0x67, 0x42}, 2, 4, 6, 4},
        {{0xFF, 0, 0, 1, 0x09, 0xF0}, 2, 4, 6, 3},
        {{0, 0, 0, 0, 0, 1, 0x65}, 1, 6, 7, 4},             // extra leading zeros
        {{0, 0, 1}, 0, 3, 3, 0},                             // start code with nothing after it
        {{0, 0, 1, 0x41, 0, 0, 1}, 4, 3, 7, 3},              // start code in the last three bytes
        {{0, 0, 1, 0x41, 0, 0, 1, 0x41}, 1, 3, 4, 3},
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

void ExpectConversion(const Bytes& nal, size_t header, const Bytes& expected, const std::string& where)
{
    Bytes out(nal.size() + 1, 0xEE);
    size_t outSize = 99;
    ASSERT_EQ(NalToRbsp(nal.data(), nal.size(), header, out.data(), outSize), outSize) << where;
    out.resize(outSize);
    ASSERT_EQ(out, expected) << where;
}

TEST(NalToRbsp, RemovesEmulationPreventionAndStopsAtStartCodes)
{
    struct Case { Bytes nal; size_t headerBytes; Bytes rbsp; };
    const Case cases[] = {
        {{0x65, 0, 0, 3, 1}, 1, {0, 0, 1}},
        {{0x65, 0x11, 0, 0, 1, 0x22}, 1, {0x11}},
        {{0x65, 0, 0, 3}, 1, {0, 0}},  // 03 as the very last byte
        {{0x40, 0x01, 0, 0, 3, 2, 0x77}, 2, {0, 0, 2, 0x77}},
        {{0x40}, 2, {}},  // shorter than its header
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        ExpectConversion(cases[i].nal, cases[i].headerBytes, cases[i].rbsp, "case " + std::to_string(i));
}

// The run-copying conversion must match the step conversion byte for byte:
// on dense random data at every offset, and on every unit of real streams.
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
            for (size_t header : {0, 1, 2})
                ExpectConversion(tail, header, StepConversion(tail, header), "round " + std::to_string(round));
        }
    }
    for (const char* name : {"baseline.264", "main_b.264", "high_slices.264", "lossless444.264", "hrd_cbr.264"}) {
        for (const Bytes& unit : SplitNalUnits(ReadFileBytes(H264FixturePath(name))))
            ExpectConversion(unit, 1, StepConversion(unit, 1), name);
    }
}

} // namespace
