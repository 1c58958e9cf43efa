#include "decoder/dxva/dxva_dump_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include <fmt/format.h>

#include "bench/video_frame.h"
#include "decoder/dxva/dxva_dump.h"
#include "decoder/dxva/dxva_structures.h"
#include "logging/spdlog_logger.h"

using namespace platform;
using Json = nlohmann::ordered_json;

namespace {

// The buffer types by their SDK names less the D3D11_VIDEO_DECODER_BUFFER_ prefix.
const char* const kBufferNames[] = {
    "PICTURE_PARAMETERS", "MACROBLOCK_CONTROL", "RESIDUAL_DIFFERENCE", "DEBLOCKING_CONTROL",
    "INVERSE_QUANTIZATION_MATRIX", "SLICE_CONTROL", "BITSTREAM", "MOTION_VECTOR", "FILM_GRAIN",
};

const char* CodecName(uint8_t codec) { return codec == kCodecH264 ? "h264" : codec == kCodecH265 ? "h265" : "unknown"; }

std::string GuidText(const platform::GUID& guid)
{
    return fmt::format("{{{:08X}-{:04X}-{:04X}-{:02X}{:02X}-{:02X}{:02X}{:02X}{:02X}{:02X}{:02X}}}", guid.Data1,
                       guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                       guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}

// The structure a kept buffer starts with, or nothing when it is too short.
template <typename Record>
Json Decoded(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < sizeof(Record))
        return nullptr;
    Record record;
    std::memcpy(&record, bytes.data(), sizeof(record));
    return DxvaJson(record);
}

template <typename Entry>
Json DecodedEntries(const std::vector<uint8_t>& bytes)
{
    Json entries = Json::array();
    for (size_t offset = 0; offset + sizeof(Entry) <= bytes.size(); offset += sizeof(Entry)) {
        Entry entry;
        std::memcpy(&entry, bytes.data() + offset, sizeof(entry));
        entries.push_back(DxvaJson(entry));
    }
    return entries;
}

}  // namespace

std::unique_ptr<DxvaDumpWriter> DxvaDumpWriter::FromEnvironment()
{
    const char* folder = std::getenv(kFolderVariable);
    if (!folder || !*folder)
        return nullptr;
    return std::make_unique<DxvaDumpWriter>(folder);
}

DxvaDumpWriter::DxvaDumpWriter(const std::filesystem::path& folder) : m_Path(folder / kFileName)
{
    m_File = std::fopen(m_Path.string().c_str(), "wb");
    if (!m_File)
        Fail("open");
}

DxvaDumpWriter::~DxvaDumpWriter()
{
    if (m_File)
        std::fclose(m_File);
}

void DxvaDumpWriter::Fail(const char* what)
{
    g_Logger.Log(LogLevel::error, "decoder: could not %s the dxva dump %s: %s", what, m_Path.string().c_str(),
                 std::strerror(errno));
    if (m_File)
        std::fclose(m_File);
    m_File = nullptr;
}

void DxvaDumpWriter::WriteLine(const Json& line)
{
    if (!m_File)
        return;
    std::string text = line.dump();
    text += '\n';
    // Flushed line by line, so a run that ends abruptly still leaves its frames.
    if (std::fwrite(text.data(), 1, text.size(), m_File) != text.size() || std::fflush(m_File) != 0)
        Fail("write");
}

void DxvaDumpWriter::Configure(uint8_t codec, const D3D11_VIDEO_DECODER_DESC& decoder,
                               const D3D11_TEXTURE2D_DESC& texture)
{
    if (!m_File)
        return;
    Json decoderJson = {{"Guid", GuidText(decoder.Guid)},
                        {"SampleWidth", decoder.SampleWidth},
                        {"SampleHeight", decoder.SampleHeight},
                        {"OutputFormat", static_cast<uint32_t>(decoder.OutputFormat)}};
    Json textureJson = {{"Width", texture.Width},
                        {"Height", texture.Height},
                        {"MipLevels", texture.MipLevels},
                        {"ArraySize", texture.ArraySize},
                        {"Format", static_cast<uint32_t>(texture.Format)},
                        {"SampleDesc", {{"Count", texture.SampleDesc.Count}, {"Quality", texture.SampleDesc.Quality}}},
                        {"Usage", static_cast<uint32_t>(texture.Usage)},
                        {"BindFlags", texture.BindFlags},
                        {"CPUAccessFlags", texture.CPUAccessFlags},
                        {"MiscFlags", texture.MiscFlags}};
    WriteLine({{"configure", {{"codec", CodecName(codec)}, {"decoder", decoderJson}, {"texture", textureJson}}}});
}

void DxvaDumpWriter::KeepBuffer(D3D11_VIDEO_DECODER_BUFFER_TYPE type, const void* bytes, size_t size)
{
    if (!m_File || type >= std::size(m_Kept))
        return;
    const auto* first = static_cast<const uint8_t*>(bytes);
    m_Kept[type].assign(first, first + size);
}

void DxvaDumpWriter::Frame(uint8_t codec, uint32_t surface, bool shortSlices, const D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions,
                           UINT count)
{
    if (!m_File)
        return;
    const bool h264 = codec == kCodecH264;
    Json buffers = Json::array();
    Json picture, matrix, slices;
    for (UINT index = 0; index < count; ++index) {
        const UINT type = descriptions[index].BufferType;
        buffers.push_back(type < std::size(kBufferNames) ? kBufferNames[type] : std::to_string(type));
        if (type >= std::size(m_Kept))
            continue;
        std::vector<uint8_t>& kept = m_Kept[type];
        kept.resize(std::min<size_t>(kept.size(), descriptions[index].DataSize));
        if (type == D3D11_VIDEO_DECODER_BUFFER_PICTURE_PARAMETERS)
            picture = h264 ? Decoded<DXVA_PicParams_H264>(kept) : Decoded<DXVA_PicParams_HEVC>(kept);
        else if (type == D3D11_VIDEO_DECODER_BUFFER_INVERSE_QUANTIZATION_MATRIX)
            matrix = h264 ? Decoded<DXVA_Qmatrix_H264>(kept) : Decoded<DXVA_Qmatrix_HEVC>(kept);
        else if (type == D3D11_VIDEO_DECODER_BUFFER_SLICE_CONTROL)
            slices = !h264 ? DecodedEntries<DXVA_Slice_HEVC_Short>(kept)
                     : shortSlices ? DecodedEntries<DXVA_Slice_H264_Short>(kept)
                                   : DecodedEntries<DXVA_Slice_H264_Long>(kept);
    }
    Json frame = {{"codec", CodecName(codec)}, {"surface", surface}, {"buffers", buffers}};
    // Whatever the submission order, the structures read in one order.
    if (!picture.is_null())
        frame["PicParams"] = picture;
    if (!matrix.is_null())
        frame["Qmatrix"] = matrix;
    if (!slices.is_null())
        frame["Slices"] = slices;
    for (std::vector<uint8_t>& kept : m_Kept)
        kept.clear();
    WriteLine({{"frame", frame}});
}
