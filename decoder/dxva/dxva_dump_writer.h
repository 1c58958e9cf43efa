#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "decoder/platform/platform_types.h"

// Writes what the decoder hands the hardware to <folder>/dxva.jsonl, one JSON
// object per line: a "configure" line per decoder configuration and a "frame"
// line per submitted frame, for comparing with what other decoders send. The
// decoder holds one only when TARSEL_DXVA_DUMP names a folder, so a normal run
// pays nothing. A failed open or write is logged once; the dump then stops and
// the run goes on.
class DxvaDumpWriter {
public:
    static constexpr const char* kFolderVariable = "TARSEL_DXVA_DUMP";
    static constexpr const char* kFileName = "dxva.jsonl";

    // A writer into the folder the variable names; none when it is unset or empty.
    static std::unique_ptr<DxvaDumpWriter> FromEnvironment();

    explicit DxvaDumpWriter(const std::filesystem::path& folder);
    ~DxvaDumpWriter();
    DxvaDumpWriter(const DxvaDumpWriter&) = delete;
    DxvaDumpWriter& operator=(const DxvaDumpWriter&) = delete;

    void Configure(uint8_t codec, const platform::D3D11_VIDEO_DECODER_DESC& decoder,
                   const platform::D3D11_TEXTURE2D_DESC& texture);
    // Copies a buffer's contents while the decoder still holds it: the
    // hardware's memory is not ours to read once released.
    void KeepBuffer(platform::D3D11_VIDEO_DECODER_BUFFER_TYPE type, const void* bytes, size_t size);
    // The frame's line, from the buffers as submitted and the copies kept of them.
    void Frame(uint8_t codec, uint32_t surface, bool shortSlices,
               const platform::D3D11_VIDEO_DECODER_BUFFER_DESC* descriptions, platform::UINT count);

private:
    void WriteLine(const nlohmann::ordered_json& line);
    void Fail(const char* what);

    std::filesystem::path m_Path;
    std::FILE* m_File = nullptr;
    // Indexed by buffer type.
    std::vector<uint8_t> m_Kept[9];
};
