#include "tools/access_unit_splitter.h"

#include <algorithm>
#include <memory>

#include "bench/video_frame.h"
#include "bitstream/h264/h264_parser.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/nal_unit.h"

namespace {

// Slice headers fit in far fewer bytes; handing the parser only the start of
// a slice spares converting megabytes of slice data it never reads.
constexpr size_t kSliceHeaderBytes = 4096;

enum class NalRole {
    Picture,       // a slice of a picture; `firstSlice` says whether it opens one
    OpensUnit,     // delimiter, parameter set or prefix SEI: belongs to the next picture
    FollowsUnit,   // suffix SEI, end of sequence, filler: stays with the picture before
};

struct NalInfo {
    NalRole role;
    bool firstSlice;
    uint32_t type;
};

// Each codec's parser state lives for one split, so a stream's parameter
// sets never leak into the next stream's parsing.
class H264Classifier {
public:
    H264Classifier() : m_Stream(CreateH264Stream(), DestroyH264Stream) {}
    bool Ready() const { return m_Stream != nullptr; }

    // Null on success, else why the NAL unit was refused.
    const char* Classify(const uint8_t* nal, size_t size, NalInfo& info)
    {
        info.type = nal[0] & 0x1F;
        bool slice = info.type >= 1 && info.type <= 5;
        if (!Parse(nal, slice ? std::min(size, kSliceHeaderBytes) : size) && !(slice && Parse(nal, size)))
            return "the parser refused it";
        if (info.type >= 1 && info.type <= 5) {
            info.role = NalRole::Picture;
            info.firstSlice = m_Stream->sh->first_mb_in_slice == 0;
        } else if (info.type == 6 || (info.type >= 7 && info.type <= 9) || (info.type >= 14 && info.type <= 18)) {
            info.role = NalRole::OpensUnit;
        } else {
            info.role = NalRole::FollowsUnit;
        }
        return nullptr;
    }

private:
    bool Parse(const uint8_t* nal, size_t size) { return ParseH264Nal(m_Stream.get(), nal, size) >= 0; }

    std::unique_ptr<H264Stream, void (*)(H264Stream*)> m_Stream;
};

class HevcClassifier {
public:
    HevcClassifier() : m_Stream(CreateHevcStream(), DestroyHevcStream) {}
    bool Ready() const { return m_Stream != nullptr; }

    const char* Classify(const uint8_t* nal, size_t size, NalInfo& info)
    {
        info.type = (nal[0] >> 1) & 0x3F;
        if (size < 2)
            return "it is shorter than its header";
        // Single-layer streams only; a temporal id of 0 is forbidden. Both
        // catch an H.264 stream handed over as H.265.
        uint32_t layerId = (nal[0] & 1u) << 5 | nal[1] >> 3;
        if (layerId != 0 || (nal[1] & 7) == 0)
            return "its header is not that of a single-layer H.265 stream";
        bool slice = info.type <= 31;
        if (!Parse(nal, slice ? std::min(size, kSliceHeaderBytes) : size) && !(slice && Parse(nal, size)))
            return "the parser refused it";
        if (info.type <= 31) {
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

private:
    bool Parse(const uint8_t* nal, size_t size) { return ParseHevcNal(m_Stream.get(), nal, size) >= 0; }

    std::unique_ptr<HevcStream, void (*)(HevcStream*)> m_Stream;
};

template <typename Classifier>
bool Split(Classifier& classifier, const char* codecName, const uint8_t* data, size_t size,
           std::vector<AccessUnitRange>& units, std::string& error)
{
    if (!classifier.Ready()) {
        error = "out of memory for the parser state";
        return false;
    }

    // Only zero bytes may come before the first start code.
    uint32_t startCodeLength = 0;
    const uint8_t* first = FindStartCode(data, data + size, startCodeLength);
    if (first == data + size) {
        error = "not an Annex B byte stream: no start code";
        return false;
    }
    for (const uint8_t* p = data; p < first - startCodeLength; ++p) {
        if (*p != 0) {
            error = "not an Annex B byte stream: it does not begin with a start code";
            return false;
        }
    }

    std::vector<size_t> starts;  // offset of each unit's first byte
    bool unitHasPicture = false;
    bool sawPicture = false;
    size_t position = 0;
    uint32_t nalStart = 0, nalEnd = 0;
    for (;;) {
        int32_t length = FindNalUnit(data + position, size - position, nalStart, nalEnd, startCodeLength);
        if (length < 1) {
            // Zero with a start code ahead means an empty NAL unit, which
            // would end the walk early and leave the rest uncut.
            if (length == 0 && position + nalStart < size) {
                error = "empty NAL unit at offset " + std::to_string(position + nalStart);
                return false;
            }
            break;
        }
        size_t nalOffset = position + nalStart;
        const uint8_t* nal = data + nalOffset;
        if (nal[0] & 0x80) {
            error = std::string("not an ") + codecName + " stream: forbidden_zero_bit set in the NAL unit at offset " +
                    std::to_string(nalOffset);
            return false;
        }

        NalInfo info{};
        if (const char* reason = classifier.Classify(nal, static_cast<size_t>(length), info)) {
            error = std::string("not a valid ") + codecName + " stream: NAL unit of type " + std::to_string(info.type) +
                    " at offset " + std::to_string(nalOffset) + ": " + reason;
            return false;
        }

        bool opensUnit = unitHasPicture && (info.role == NalRole::OpensUnit ||
                                            (info.role == NalRole::Picture && info.firstSlice));
        if (starts.empty() || opensUnit) {
            // The first unit keeps any leading zero bytes of the stream.
            starts.push_back(starts.empty() ? 0 : nalOffset - startCodeLength);
            unitHasPicture = false;
        }
        if (info.role == NalRole::Picture)
            unitHasPicture = sawPicture = true;
        position += nalEnd;
    }

    if (!sawPicture) {
        error = std::string("no ") + codecName + " pictures found";
        return false;
    }
    // Parameter sets or SEI after the last picture open no picture of their
    // own; they stay with the last frame so that no byte is lost.
    if (!unitHasPicture)
        starts.pop_back();

    units.reserve(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        size_t end = i + 1 < starts.size() ? starts[i + 1] : size;
        units.push_back({starts[i], end - starts[i]});
    }
    return true;
}

}  // namespace

bool SplitAccessUnits(uint8_t codec, const uint8_t* data, size_t size,
                      std::vector<AccessUnitRange>& units, std::string& error)
{
    units.clear();
    if (size > kMaxStreamSize) {
        error = "stream is larger than " + std::to_string(kMaxStreamSize) + " bytes";
        return false;
    }
    bool ok = false;
    if (codec == kCodecH264) {
        H264Classifier classifier;
        ok = Split(classifier, "H.264", data, size, units, error);
    } else if (codec == kCodecH265) {
        HevcClassifier classifier;
        ok = Split(classifier, "H.265", data, size, units, error);
    } else {
        error = "unknown codec " + std::to_string(codec);
    }
    if (!ok)
        units.clear();
    return ok;
}
