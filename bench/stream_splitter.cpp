#include "bench/stream_splitter.h"

#include <algorithm>
#include <cstring>

#include "bench/video_frame.h"
#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/start_code_scan.h"

namespace {

// Slice headers fit in far fewer bytes; handing the parser only the start of
// a slice spares converting megabytes of slice data it never reads.
constexpr size_t kSliceHeaderBytes = 4096;

enum class NalRole {
    Picture,      // a slice of a picture; `firstSlice` says whether it opens one
    OpensUnit,    // delimiter, parameter set or prefix SEI: belongs to the next picture
    FollowsUnit,  // suffix SEI, end of sequence, filler: stays with the picture before
};

struct NalInfo {
    NalRole role;
    bool firstSlice;
    bool sps;
    uint32_t type;
};

}  // namespace

// One codec's parser state and the meaning of its NAL unit types. The state
// lives as long as the splitter, so one stream's parameter sets never leak
// into another stream's parsing.
class NalClassifier {
public:
    virtual ~NalClassifier() = default;
    virtual bool Ready() const = 0;
    virtual const char* CodecName() const = 0;
    // Null on success, else why the NAL unit was refused.
    virtual const char* Classify(const uint8_t* nal, size_t size, NalInfo& info) = 0;
    // The other codec's name when the NAL unit's header reads as one of that
    // codec's headers streams begin with, else null: a file of the wrong
    // codec fails on its first units.
    virtual const char* OtherCodecLookalike(const uint8_t* nal, size_t size) const = 0;

protected:
    virtual bool Parse(const uint8_t* nal, size_t size) = 0;
    // Whether the last slice parsed left bits for its slice data.
    virtual bool SliceHeaderFits() const = 0;

    // A slice is parsed from its first bytes, and whole only when those do
    // not hold its header. A slice whose header takes every bit it has was
    // cut short, as the last one of a truncated file is.
    const char* ParseNal(const uint8_t* nal, size_t size, bool slice)
    {
        if (!slice)
            return Parse(nal, size) ? nullptr : "the parser refused it";
        const char* reason = ParseSlice(nal, std::min(size, kSliceHeaderBytes));
        if (reason && size > kSliceHeaderBytes)
            reason = ParseSlice(nal, size);
        return reason;
    }

private:
    const char* ParseSlice(const uint8_t* nal, size_t size)
    {
        if (!Parse(nal, size))
            return "the parser refused it";
        return SliceHeaderFits() ? nullptr : "it ends inside its slice header";
    }
};

namespace {

class H264Classifier : public NalClassifier {
public:
    H264Classifier() : m_Stream(CreateH264Stream(), DestroyH264Stream) {}
    bool Ready() const override { return m_Stream && m_Stream->loc; }
    const char* CodecName() const override { return "H.264"; }

    const char* Classify(const uint8_t* nal, size_t size, NalInfo& info) override
    {
        info.type = nal[0] & 0x1F;
        info.sps = info.type == 7;
        const bool slice = info.type >= 1 && info.type <= 5;
        if (const char* reason = ParseNal(nal, size, slice))
            return reason;
        if (slice) {
            info.role = NalRole::Picture;
            info.firstSlice = m_Stream->sh->first_mb_in_slice == 0;
        } else if (info.type == 6 || (info.type >= 7 && info.type <= 9) || (info.type >= 14 && info.type <= 18)) {
            info.role = NalRole::OpensUnit;
        } else {
            info.role = NalRole::FollowsUnit;
        }
        return nullptr;
    }

    const char* OtherCodecLookalike(const uint8_t* nal, size_t size) const override
    {
        // VPS, SPS, PPS, delimiter or prefix SEI of layer 0 with a temporal id.
        const uint32_t type = (nal[0] >> 1) & 0x3F;
        const bool opening = (type >= 32 && type <= 35) || type == 39;
        return size >= 2 && opening && (nal[0] & 1) == 0 && (nal[1] >> 3) == 0 && (nal[1] & 7) != 0 ? "H.265" : nullptr;
    }

protected:
    bool Parse(const uint8_t* nal, size_t size) override { return ParseH264Nal(m_Stream.get(), nal, size) >= 0; }
    // Header bits count from the byte after the NAL unit header.
    bool SliceHeaderFits() const override { return m_Stream->loc->headerBits < m_Stream->nal->rbspSize * 8; }

private:
    std::unique_ptr<H264Stream, void (*)(H264Stream*)> m_Stream;
};

class HevcClassifier : public NalClassifier {
public:
    HevcClassifier() : m_Stream(CreateHevcStream(), DestroyHevcStream) {}
    bool Ready() const override { return m_Stream && m_Stream->loc; }
    const char* CodecName() const override { return "H.265"; }

    const char* Classify(const uint8_t* nal, size_t size, NalInfo& info) override
    {
        info.type = (nal[0] >> 1) & 0x3F;
        info.sps = info.type == 33;
        if (size < 2)
            return "it is shorter than its header";
        // Single-layer streams only; a temporal id of 0 is forbidden. Both
        // catch an H.264 stream handed over as H.265.
        const uint32_t layerId = (nal[0] & 1u) << 5 | nal[1] >> 3;
        if (layerId != 0 || (nal[1] & 7) == 0)
            return "its header is not that of a single-layer H.265 stream";
        const bool slice = info.type <= 31;
        if (const char* reason = ParseNal(nal, size, slice))
            return reason;
        if (slice) {
            info.role = NalRole::Picture;
            info.firstSlice = m_Stream->sh->first_slice_segment_in_pic_flag != 0;
        } else if ((info.type >= 32 && info.type <= 35) || info.type == 39 || (info.type >= 41 && info.type <= 44) ||
                   (info.type >= 48 && info.type <= 55)) {
            info.role = NalRole::OpensUnit;
        } else {
            info.role = NalRole::FollowsUnit;
        }
        return nullptr;
    }

    const char* OtherCodecLookalike(const uint8_t* nal, size_t) const override
    {
        // IDR slice, SEI, SPS, PPS or delimiter.
        const uint32_t type = nal[0] & 0x1F;
        return (type >= 5 && type <= 9) ? "H.264" : nullptr;
    }

protected:
    bool Parse(const uint8_t* nal, size_t size) override { return ParseHevcNal(m_Stream.get(), nal, size) >= 0; }
    // Header bits count the two NAL unit header bytes too.
    bool SliceHeaderFits() const override { return m_Stream->loc->headerBits < m_Stream->nal->rbspSize * 8 + 16; }

private:
    std::unique_ptr<HevcStream, void (*)(HevcStream*)> m_Stream;
};

std::unique_ptr<NalClassifier> MakeClassifier(uint8_t codec)
{
    if (codec == kCodecH264)
        return std::make_unique<H264Classifier>();
    if (codec == kCodecH265)
        return std::make_unique<HevcClassifier>();
    return nullptr;
}

}  // namespace

AccessUnitSplitter::AccessUnitSplitter(uint8_t codec) : m_Classifier(MakeClassifier(codec))
{
    if (!m_Classifier)
        Fail("unknown codec " + std::to_string(codec));
    else if (!m_Classifier->Ready())
        Fail("out of memory for the parser state");
}

AccessUnitSplitter::~AccessUnitSplitter() = default;

// The parser state stays: creating an H.265 one takes longer than a small
// picture's pass, and the stream sends its parameter sets again, as the
// decoder's own state meets them again in every pass.
void AccessUnitSplitter::Restart()
{
    if (!m_Classifier || !m_Classifier->Ready())
        return;
    m_Error.clear();
    m_UnitOffset = 0;
    m_Started = m_Walked = m_Finished = false;
    m_NalHeader = m_ScanFrom = 0;
    m_StartCodeLength = 0;
    m_Boundary = SIZE_MAX;
    m_SpsOffset = m_NextSpsOffset = SplitStep::kNoSps;
    m_UnitHasPicture = m_SawPicture = m_SawSps = false;
}

SplitStep AccessUnitSplitter::Fail(std::string message)
{
    m_Error = std::move(message);
    m_Finished = true;
    return {SplitStep::Kind::Failed, 0, SplitStep::kNoSps};
}

// Only zero bytes may come before the first start code, which needs one byte after it.
bool AccessUnitSplitter::FindFirstStartCode(const uint8_t* window, size_t size, bool atEnd, SplitStep& step)
{
    // Zeros already looked at are not looked at again when more bytes come.
    const uint8_t* end = window + size;
    const uint8_t* nonZero = std::find_if(window + m_ScanFrom, end, [](uint8_t byte) { return byte != 0; });
    m_ScanFrom = static_cast<size_t>(nonZero - window);
    if (nonZero != end && (*nonZero != 1 || nonZero - window < 2)) {
        step = Fail("not an Annex B byte stream: it does not begin with a start code");
        return false;
    }
    if (nonZero == end || nonZero + 1 == end) {
        if (atEnd)
            step = Fail(size == 0 ? std::string("the stream is empty") : "not an Annex B byte stream: no start code");
        return false;
    }
    m_Started = true;
    m_NalHeader = m_ScanFrom = static_cast<size_t>(nonZero + 1 - window);
    m_StartCodeLength = nonZero - window >= 3 ? 4 : 3;
    return true;
}

SplitStep AccessUnitSplitter::EmitUnit(size_t size)
{
    SplitStep step{SplitStep::Kind::Unit, size, m_SpsOffset};
    m_UnitOffset += size;
    m_NalHeader -= std::min(m_NalHeader, size);
    m_ScanFrom -= std::min(m_ScanFrom, size);
    m_SpsOffset = m_NextSpsOffset == SplitStep::kNoSps ? SplitStep::kNoSps : m_NextSpsOffset - size;
    m_NextSpsOffset = SplitStep::kNoSps;
    m_Boundary = SIZE_MAX;
    return step;
}

SplitStep AccessUnitSplitter::Next(const uint8_t* window, size_t size, bool atEnd)
{
    if (m_Finished)
        return {m_Error.empty() ? SplitStep::Kind::End : SplitStep::Kind::Failed, 0, SplitStep::kNoSps};
    SplitStep step;
    if (!m_Started && !FindFirstStartCode(window, size, atEnd, step))
        return step;

    const uint8_t* end = window + size;
    while (!m_Walked) {
        // The NAL unit ends where the next start code begins; a zero byte
        // before that start code is the start code's own.
        const uint8_t* next = ScanForStartCode(window + m_ScanFrom, end);
        size_t nalEnd = size;
        if (next == end) {
            if (!atEnd) {
                // A start code may straddle the window's end: look at its last bytes again.
                m_ScanFrom = std::max(m_NalHeader, size >= 3 ? size - 3 : 0);
                return step;
            }
        } else {
            nalEnd = static_cast<size_t>(next - window);
            if (nalEnd > m_NalHeader && next[-1] == 0)
                --nalEnd;
        }
        const uint8_t* nal = window + m_NalHeader;
        const size_t length = nalEnd - m_NalHeader;
        const uint64_t nalOffset = m_UnitOffset + m_NalHeader;
        if (length == 0)
            return Fail("empty NAL unit at offset " + std::to_string(nalOffset));
        const std::string codecName = m_Classifier->CodecName();  // short enough to need no allocation
        if (nal[0] & 0x80)
            return Fail("not an " + codecName + " stream: forbidden_zero_bit set in the NAL unit at offset " +
                        std::to_string(nalOffset));
        NalInfo info{};
        if (const char* reason = m_Classifier->Classify(nal, length, info)) {
            std::string message = "not a valid " + codecName + " stream: NAL unit of type " +
                                  std::to_string(info.type) + " at offset " + std::to_string(nalOffset) + ": " + reason;
            if (const char* other = m_SawSps ? nullptr : m_Classifier->OtherCodecLookalike(nal, length))
                message += std::string(" (it looks like an ") + other + " stream)";
            else if (!m_SawSps)
                message += " (no sequence parameter set came before it)";
            return Fail(std::move(message));
        }

        const size_t nalStartCode = m_NalHeader - m_StartCodeLength;
        const bool opensUnit =
            m_UnitHasPicture && (info.role == NalRole::OpensUnit || (info.role == NalRole::Picture && info.firstSlice));
        if (opensUnit && m_Boundary == SIZE_MAX) {
            m_Boundary = nalStartCode;
            m_UnitHasPicture = false;
        }
        if (info.sps) {
            m_SawSps = true;
            size_t& first = m_Boundary == SIZE_MAX ? m_SpsOffset : m_NextSpsOffset;
            if (first == SplitStep::kNoSps)
                first = nalStartCode;
        }
        if (info.role == NalRole::Picture)
            m_UnitHasPicture = m_SawPicture = true;

        if (next == end) {
            m_Walked = true;
        } else {
            m_StartCodeLength = nalEnd < static_cast<size_t>(next - window) ? 4 : 3;
            m_NalHeader = m_ScanFrom = static_cast<size_t>(next - window) + 3;
        }
        // The unit before the boundary is whole once the next one has a picture.
        if (info.role == NalRole::Picture && m_Boundary != SIZE_MAX)
            return EmitUnit(m_Boundary);
    }

    if (!m_SawPicture)
        return Fail("no " + std::string(m_Classifier->CodecName()) + " pictures found");
    // What follows the last picture without one of its own stays with it.
    m_Finished = true;
    if (m_SpsOffset == SplitStep::kNoSps)
        m_SpsOffset = m_NextSpsOffset;
    m_NextSpsOffset = SplitStep::kNoSps;
    return EmitUnit(size);
}
