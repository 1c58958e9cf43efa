// A slice segment header is converted only as far as it reaches. These
// headers of many lengths put the end of the header, and escape sequences,
// on every side of the conversion boundaries; each must parse exactly as the
// writer laid it out.
#include <gtest/gtest.h>

#include <random>

#include "hevc_test_util.h"
#include "support/log_capture.h"

namespace {

struct ChunkCase {
    size_t entryPoints;
    uint32_t offset_len_minus1;
    bool zeroOffsets;  // all-zero RBSP bytes: an escape at every third byte
    size_t extensionBytes;
    size_t sliceDataBytes = 256 * 1024;  // 0: the header's last bits sit in the unit's last bytes
};

void ExpectSliceParsesAsWritten(HevcStream* stream, const ChunkCase& chunkCase, std::mt19937& random)
{
    TestSlice slice{.offset_len_minus1 = chunkCase.offset_len_minus1, .sliceDataBytes = chunkCase.sliceDataBytes};
    const uint64_t valueLimit = uint64_t{1} << (chunkCase.offset_len_minus1 + 1);
    for (size_t i = 0; i < chunkCase.entryPoints; ++i)
        slice.entryPoints.push_back(chunkCase.zeroOffsets ? 0 : static_cast<uint32_t>(random() % valueLimit));
    for (size_t i = 0; i < chunkCase.extensionBytes; ++i)
        slice.extension.push_back(static_cast<uint8_t>(i % 3 == 0 ? 0xA5 : i % 3 == 1 ? 0 : 3));
    uint32_t headerBits = 0;
    const std::vector<uint8_t> nal = WriteTestSlice(slice, headerBits);

    SCOPED_TRACE(::testing::Message() << chunkCase.entryPoints << " entry points of " << chunkCase.offset_len_minus1 + 1
                                      << " bits, zero " << chunkCase.zeroOffsets << ", extension "
                                      << chunkCase.extensionBytes);
    ASSERT_EQ(ParseHevcNal(stream, nal.data(), nal.size()), static_cast<int32_t>(nal.size()));
    EXPECT_EQ(stream->loc->headerBits, headerBits);
    EXPECT_EQ(stream->sh->num_entry_point_offsets, chunkCase.entryPoints);
    for (size_t i = 0; i < chunkCase.entryPoints && i < kHevcMaxStoredEntryPoints; ++i)
        ASSERT_EQ(stream->sh->entry_point_offset_minus1[i], slice.entryPoints[i]) << i;
    EXPECT_EQ(stream->sh->slice_segment_header_extension_length, chunkCase.extensionBytes);
    for (size_t i = 0; i < chunkCase.extensionBytes && i < kHevcMaxStoredExtensionBytes; ++i)
        ASSERT_EQ(stream->sh->slice_segment_header_extension_data_byte[i], slice.extension[i]) << i;
    // The slice data behind the header is never converted.
    if (chunkCase.sliceDataBytes > 0) {
        EXPECT_LT(stream->nal->rbspSize, nal.size() / 4);
    }
}

TEST(HevcSliceChunks, HeadersOfEveryLengthAroundTheConversionBoundaries)
{
    HevcStreamPtr stream(CreateHevcStream());
    for (const std::vector<uint8_t>& unit : {WriteTestSps({}), WriteTestPps({})})
        ASSERT_GT(ParseHevcNal(stream.get(), unit.data(), unit.size()), 0);

    std::mt19937 random(7);
    std::vector<ChunkCase> cases;
    // 32-bit offsets: about 4 bytes each, so these counts end the header
    // around 512 bytes and around 4 KiB, the first two boundaries.
    for (size_t n = 110; n < 140; ++n) {
        for (bool zero : {false, true})
            cases.push_back({n, 31, zero, 0});
    }
    // Byte-sized offsets move the end one byte per step across the first
    // boundary, so some header ends in the byte right at a cut.
    for (size_t n = 480; n < 520; ++n) {
        for (uint32_t bits : {6u, 7u})
            cases.push_back({n, bits, false, 1});
    }
    for (size_t n = 1010; n < 1040; n += 3)
        cases.push_back({n, 31, true, 0});
    // Short offsets and extension bytes shift the end by bits and bytes.
    for (size_t extension = 0; extension <= 256; extension += 17)
        cases.push_back({300, 12, false, extension});
    for (uint32_t bits = 0; bits < 32; ++bits)
        cases.push_back({2000 / (bits + 1) + 5, bits, bits % 2 == 0, 3});
    // Wavefront of a 2160p picture with 16x16 CTBs: 134 rows.
    cases.push_back({134, 17, false, 0});
    cases.push_back({0, 0, false, 0});
    cases.push_back({40, 31, false, 40});  // beyond the 32 stored entries and extension bytes
    // No slice data at all: the conversion has to reach the very end.
    for (size_t n : {0, 1, 127, 128, 129, 1023, 1024, 1025})
        cases.push_back({n, 31, true, 0, 0});

    // A header that outgrows the first piece is parsed again; the attempt
    // over too little data must leave no error line behind.
    LogCapture log;
    for (const ChunkCase& chunkCase : cases)
        ExpectSliceParsesAsWritten(stream.get(), chunkCase, random);
    EXPECT_TRUE(log.lines().empty()) << log.lines().front();
}

} // namespace
