#pragma once

#include <nlohmann/json.hpp>

#include "decoder/dxva/dxva_structures.h"

// The DXVA parameter structures as JSON objects for the dump: members in
// declaration order under the structures' own field names, each bit field by
// its name (the whole-word aliases left out), arrays as arrays and a picture
// entry as its byte.
nlohmann::ordered_json DxvaJson(const DXVA_PicParams_H264& picture);
nlohmann::ordered_json DxvaJson(const DXVA_Qmatrix_H264& matrix);
nlohmann::ordered_json DxvaJson(const DXVA_Slice_H264_Short& slice);
nlohmann::ordered_json DxvaJson(const DXVA_Slice_H264_Long& slice);
nlohmann::ordered_json DxvaJson(const DXVA_PicParams_HEVC& picture);
nlohmann::ordered_json DxvaJson(const DXVA_Qmatrix_HEVC& matrix);
nlohmann::ordered_json DxvaJson(const DXVA_Slice_HEVC_Short& slice);
