// Emulation-prevention removal over the largest slice of a 2160p access
// unit: the production conversion and the three-bytes-per-step one, beside
// memcpy of the same bytes. Uses the benchmark frame files under data/.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "bitstream/annexb_fixture.h"
#include "bitstream/nal_unit.h"
#include "bitstream/rbsp_reference.h"

namespace {

const Bytes& LargestUnit(const std::string& path)
{
    static std::map<std::string, Bytes> loaded;
    auto found = loaded.find(path);
    if (found == loaded.end()) {
        Bytes largest;
        for (Bytes& unit : SplitNalUnits(LoadFrameAccessUnit(path))) {
            if (unit.size() > largest.size())
                largest = std::move(unit);
        }
        found = loaded.emplace(path, std::move(largest)).first;
    }
    return found->second;
}

size_t HeaderBytes(const std::string& path)
{
    return path.starts_with("h265") ? 2 : 1;
}

template <size_t (*Convert)(const uint8_t*, size_t, size_t, uint8_t*, size_t&)>
void Rbsp(benchmark::State& state, const std::string& path)
{
    const Bytes& unit = LargestUnit(path);
    if (unit.empty()) {
        state.SkipWithError(("no data/" + path + " (make the benchmark data set first)").c_str());
        return;
    }
    Bytes out(unit.size());
    size_t outSize = 0;
    for (auto _ : state) {
        Convert(unit.data(), unit.size(), HeaderBytes(path), out.data(), outSize);
        benchmark::DoNotOptimize(outSize);
        benchmark::ClobberMemory();
    }
    state.counters["removed"] = static_cast<double>(unit.size() - HeaderBytes(path) - outSize);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * unit.size()));
}

void Memcpy(benchmark::State& state, const std::string& path)
{
    const Bytes& unit = LargestUnit(path);
    if (unit.empty()) {
        state.SkipWithError(("no data/" + path).c_str());
        return;
    }
    Bytes out(unit.size());
    for (auto _ : state) {
        std::memcpy(out.data(), unit.data(), unit.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * unit.size()));
}

void NalToRbspRuns(benchmark::State& state, const std::string& path) { Rbsp<NalToRbsp>(state, path); }
void NalToRbspStep(benchmark::State& state, const std::string& path) { Rbsp<ReferenceNalToRbsp>(state, path); }

} // namespace

BENCHMARK_CAPTURE(NalToRbspRuns, h264_2160p_idr, std::string("h264/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(NalToRbspStep, h264_2160p_idr, std::string("h264/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(Memcpy, h264_2160p_idr, std::string("h264/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(NalToRbspRuns, h264_2160p_p, std::string("h264/3840_2160/frame_1.frame"));
BENCHMARK_CAPTURE(NalToRbspStep, h264_2160p_p, std::string("h264/3840_2160/frame_1.frame"));
BENCHMARK_CAPTURE(Memcpy, h264_2160p_p, std::string("h264/3840_2160/frame_1.frame"));
BENCHMARK_CAPTURE(NalToRbspRuns, h265_2160p_idr, std::string("h265/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(NalToRbspStep, h265_2160p_idr, std::string("h265/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(Memcpy, h265_2160p_idr, std::string("h265/3840_2160/frame_0.frame"));

BENCHMARK_MAIN();
