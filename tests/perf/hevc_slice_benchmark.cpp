// ParseHevcNal of the largest slice of 2160p access units beside memcpy of
// the same bytes, and beside converting the whole slice, which is what
// reading the header would cost without the partial conversion.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "bitstream/annexb_fixture.h"
#include "bitstream/hevc/hevc_parser.h"

namespace {

struct HevcStreamDeleter {
    void operator()(HevcStream* stream) const { DestroyHevcStream(stream); }
};

// The parameter sets of the stream come from frame 0, the slice from the
// named frame.
struct SliceCase {
    std::unique_ptr<HevcStream, HevcStreamDeleter> stream;
    Bytes slice;
};

const SliceCase& LoadCase(const std::string& frame)
{
    static std::map<std::string, SliceCase> loaded;
    auto found = loaded.find(frame);
    if (found != loaded.end())
        return found->second;
    SliceCase sliceCase{std::unique_ptr<HevcStream, HevcStreamDeleter>(CreateHevcStream()), {}};
    for (const Bytes& unit : SplitNalUnits(LoadFrameAccessUnit("h265/3840_2160/frame_0.frame"))) {
        const uint32_t type = (unit[0] >> 1) & 0x3F;
        if (type >= 32 && type <= 34)
            ParseHevcNal(sliceCase.stream.get(), unit.data(), unit.size());
    }
    for (Bytes& unit : SplitNalUnits(LoadFrameAccessUnit(frame))) {
        const uint32_t type = (unit[0] >> 1) & 0x3F;
        if ((type <= 9 || (type >= 16 && type <= 21)) && unit.size() > sliceCase.slice.size())
            sliceCase.slice = std::move(unit);
    }
    return loaded.emplace(frame, std::move(sliceCase)).first->second;
}

bool HaveCase(benchmark::State& state, const SliceCase& sliceCase)
{
    if (sliceCase.slice.empty())
        state.SkipWithError("no data/h265/3840_2160 frames (make the benchmark data set first)");
    return !sliceCase.slice.empty();
}

void ParseSlice(benchmark::State& state, const std::string& frame)
{
    const SliceCase& sliceCase = LoadCase(frame);
    if (!HaveCase(state, sliceCase))
        return;
    for (auto _ : state) {
        int32_t result = ParseHevcNal(sliceCase.stream.get(), sliceCase.slice.data(), sliceCase.slice.size());
        benchmark::DoNotOptimize(result);
    }
    state.counters["headerBits"] = sliceCase.stream->loc->headerBits;
    state.counters["entryPoints"] = sliceCase.stream->sh->num_entry_point_offsets;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sliceCase.slice.size()));
}

void ConvertWholeSlice(benchmark::State& state, const std::string& frame)
{
    const SliceCase& sliceCase = LoadCase(frame);
    if (!HaveCase(state, sliceCase))
        return;
    Bytes out(sliceCase.slice.size());
    size_t outSize = 0;
    for (auto _ : state) {
        NalToRbsp(sliceCase.slice.data(), sliceCase.slice.size(), 2, out.data(), outSize);
        benchmark::DoNotOptimize(outSize);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sliceCase.slice.size()));
}

void Memcpy(benchmark::State& state, const std::string& frame)
{
    const SliceCase& sliceCase = LoadCase(frame);
    if (!HaveCase(state, sliceCase))
        return;
    Bytes out(sliceCase.slice.size());
    for (auto _ : state) {
        std::memcpy(out.data(), sliceCase.slice.data(), sliceCase.slice.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sliceCase.slice.size()));
}

} // namespace

BENCHMARK_CAPTURE(ParseSlice, h265_2160p_idr, std::string("h265/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(ConvertWholeSlice, h265_2160p_idr, std::string("h265/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(Memcpy, h265_2160p_idr, std::string("h265/3840_2160/frame_0.frame"));
BENCHMARK_CAPTURE(ParseSlice, h265_2160p_p, std::string("h265/3840_2160/frame_1.frame"));
BENCHMARK_CAPTURE(ConvertWholeSlice, h265_2160p_p, std::string("h265/3840_2160/frame_1.frame"));
BENCHMARK_CAPTURE(Memcpy, h265_2160p_p, std::string("h265/3840_2160/frame_1.frame"));

BENCHMARK_MAIN();
