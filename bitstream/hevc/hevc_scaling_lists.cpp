#include "bitstream/checked_read.h"
#include "bitstream/hevc/hevc_parser.h"
#include "bitstream/hevc/hevc_syntax.h"

namespace {

// ITU-T H.265 Table 7-6, in coding order (up-right diagonal scan of 8x8).
constexpr uint8_t kDefaultIntra8x8[64] = {
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 16, 17, 16, 17, 18,
    17, 18, 18, 17, 18, 21, 19, 20, 21, 20, 19, 21, 24, 22, 22, 24,
    24, 22, 22, 24, 25, 25, 27, 30, 27, 25, 25, 29, 31, 35, 35, 31,
    29, 36, 41, 44, 41, 36, 47, 54, 54, 47, 65, 70, 65, 88, 88, 115,
};
constexpr uint8_t kDefaultInter8x8[64] = {
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 17, 17, 17, 17, 18,
    18, 18, 18, 18, 18, 20, 20, 20, 20, 20, 20, 20, 24, 24, 24, 24,
    24, 24, 24, 24, 25, 25, 25, 25, 25, 25, 25, 28, 28, 28, 28, 28,
    28, 33, 33, 33, 33, 33, 41, 41, 41, 41, 54, 54, 54, 71, 71, 91,
};

// Raster index (size * y + x) of each coding-order position of a square
// block in up-right diagonal scan.
template <int size>
struct DiagonalScan {
    uint8_t raster[size * size];
    constexpr DiagonalScan() : raster{}
    {
        int i = 0;
        for (int diagonal = 0; diagonal < 2 * size - 1; ++diagonal) {
            for (int y = diagonal, x = 0; y >= 0; --y, ++x) {
                if (x < size && y < size)
                    raster[i++] = static_cast<uint8_t>(size * y + x);
            }
        }
    }
};
constexpr DiagonalScan<4> kDiagonalScan4x4;
constexpr DiagonalScan<8> kDiagonalScan8x8;

void SetDefaultMatrix(HevcScalingLists& lists, uint32_t sizeId, uint32_t matrixId)
{
    uint8_t* list = lists.ScalingList[sizeId][matrixId];
    if (sizeId == 0) {
        for (uint32_t i = 0; i < 16; ++i)
            list[i] = 16;
        return;
    }
    const uint8_t* coded = matrixId < 3 ? kDefaultIntra8x8 : kDefaultInter8x8;
    for (uint32_t i = 0; i < 64; ++i)
        list[kDiagonalScan8x8.raster[i]] = coded[i];
    if (sizeId >= 2)
        lists.ScalingListDcCoef[sizeId - 2][matrixId] = 16;
}

} // namespace

void SetDefaultHevcScalingLists(HevcScalingLists& lists)
{
    lists = {};
    for (uint32_t sizeId = 0; sizeId < 4; ++sizeId) {
        for (uint32_t matrixId = 0; matrixId < 6; ++matrixId)
            SetDefaultMatrix(lists, sizeId, matrixId);
    }
}

bool ParseHevcScalingListData(BitReader& reader, HevcScalingLists& lists)
{
    for (uint32_t sizeId = 0; sizeId < 4; ++sizeId) {
        // 32x32 lists are coded for luma only (matrixId 0 and 3).
        const uint32_t matrixStep = sizeId == 3 ? 3 : 1;
        for (uint32_t matrixId = 0; matrixId < 6; matrixId += matrixStep) {
            uint8_t* list = lists.ScalingList[sizeId][matrixId];
            const uint32_t scaling_list_pred_mode_flag = ReadBit(reader);
            if (!scaling_list_pred_mode_flag) {
                uint32_t scaling_list_pred_matrix_id_delta = 0;
                if (!ReadUeMax(reader, "scaling_list_pred_matrix_id_delta", matrixId / matrixStep,
                               scaling_list_pred_matrix_id_delta))
                    return false;
                if (scaling_list_pred_matrix_id_delta == 0) {
                    SetDefaultMatrix(lists, sizeId, matrixId);
                    continue;
                }
                const uint32_t refMatrixId = matrixId - scaling_list_pred_matrix_id_delta * matrixStep;
                for (uint32_t i = 0; i < 64; ++i)
                    list[i] = lists.ScalingList[sizeId][refMatrixId][i];
                if (sizeId >= 2)
                    lists.ScalingListDcCoef[sizeId - 2][matrixId] = lists.ScalingListDcCoef[sizeId - 2][refMatrixId];
                continue;
            }
            int64_t nextCoef = 8;
            if (sizeId >= 2) {
                nextCoef = static_cast<int64_t>(ReadSe(reader)) + 8;  // scaling_list_dc_coef_minus8
                lists.ScalingListDcCoef[sizeId - 2][matrixId] = static_cast<uint8_t>(nextCoef & 0xFF);
            }
            const uint32_t coefNum = sizeId == 0 ? 16 : 64;
            const uint8_t* scan = sizeId == 0 ? kDiagonalScan4x4.raster : kDiagonalScan8x8.raster;
            for (uint32_t i = 0; i < coefNum; ++i) {
                const int64_t scaling_list_delta_coef = ReadSe(reader);
                nextCoef = ((nextCoef + scaling_list_delta_coef) % 256 + 256) % 256;
                list[scan[i]] = static_cast<uint8_t>(nextCoef);
            }
        }
    }
    return true;
}
