#include "bench/bench_case.h"

std::array<BenchCase, kBenchCaseCount> g_BenchCases = {{
    {"./data/h264/1280_720/", 1280, 720, 0, 30, false, 0},
    {"./data/h264/1920_1080/", 1920, 1080, 0, 30, false, 0},
    {"./data/h264/2560_1440/", 2560, 1440, 0, 30, false, 0},
    {"./data/h264/3840_2160/", 3840, 2160, 0, 30, false, 0},
    {"./data/h265/1280_720/", 1280, 720, 1, 30, false, 0},
    {"./data/h265/1920_1080/", 1920, 1080, 1, 30, false, 0},
    {"./data/h265/2560_1440/", 2560, 1440, 1, 30, false, 0},
    {"./data/h265/3840_2160/", 3840, 2160, 1, 30, false, 0},
}};

std::string FrameFileName(const BenchCase& benchCase, int32_t index)
{
    return benchCase.path + "frame_" + std::to_string(index) + ".frame";
}
