// Splitting a 2160p access unit into NAL units with FindNalUnit, beside
// memcpy of the same bytes. Uses the benchmark frame files under data/.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>

#include "bitstream/annexb_fixture.h"
#include "bitstream/nal_unit.h"

namespace {

const Bytes& AccessUnit(const std::string& path)
{
    static std::map<std::string, Bytes> loaded;
    auto found = loaded.find(path);
    if (found == loaded.end())
        found = loaded.emplace(path, LoadFrameAccessUnit(path)).first;
    return found->second;
}

void NalWalk(benchmark::State& state, const std::string& path)
{
    const Bytes& au = AccessUnit(path);
    if (au.empty()) {
        state.SkipWithError(("no data/" + path + " (make the benchmark data set first)").c_str());
        return;
    }
    size_t units = 0;
    for (auto _ : state) {
        units = 0;
        size_t offset = 0;
        for (;;) {
            uint32_t nalStart = 0, nalEnd = 0, startCodeLength = 0;
            int32_t size = FindNalUnit(au.data() + offset, au.size() - offset, nalStart, nalEnd, startCodeLength);
            if (size < 1)
                break;
            ++units;
            offset += nalEnd;
        }
        benchmark::DoNotOptimize(units);
    }
    state.counters["nal_units"] = static_cast<double>(units);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * au.size()));
}

void Memcpy(benchmark::State& state, const std::string& path)
{
    const Bytes& au = AccessUnit(path);
    if (au.empty()) {
        state.SkipWithError(("no data/" + path).c_str());
        return;
    }
    Bytes copy(au.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), au.data(), au.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * au.size()));
}

} // namespace

BENCHMARK_CAPTURE(NalWalk, h264_2160p_idr, std::string("h264/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(Memcpy, h264_2160p_idr, std::string("h264/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(NalWalk, h264_2160p_p, std::string("h264/3840_2160/frame_1.frame"));
BENCHMARK_CAPTURE(Memcpy, h264_2160p_p, std::string("h264/3840_2160/frame_1.frame"));
BENCHMARK_CAPTURE(NalWalk, h265_2160p_idr, std::string("h265/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(Memcpy, h265_2160p_idr, std::string("h265/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(NalWalk, h265_2160p_p, std::string("h265/3840_2160/frame_1.frame"));
BENCHMARK_CAPTURE(Memcpy, h265_2160p_p, std::string("h265/3840_2160/frame_1.frame"));

BENCHMARK_MAIN();
