// Throughput of each start-code scan, and of each copy that finds the start
// codes on its way, against memcpy of the same bytes, over the access units
// of the data set's 2160p cases (all 30 frames of a case per iteration). Run
// from anywhere; reads <source>/data.
//   start-code-scan-benchmark [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bitstream/start_code_scan.h"

namespace {

constexpr size_t kFrameHeaderSize = 5;
constexpr int kFramesPerCase = 30;

using Bytes = std::vector<uint8_t>;

// The payloads of a case's frame files; empty when the data set is missing.
std::vector<Bytes> LoadCase(const std::string& caseDirectory)
{
    std::vector<Bytes> units;
    for (int index = 0; index < kFramesPerCase; ++index) {
        std::string path = std::string(TARSEL_SOURCE_DIR) + "/data/" + caseDirectory + "/frame_" + std::to_string(index) + ".frame";
        std::ifstream in(path, std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() <= kFrameHeaderSize)
            return {};
        units.emplace_back(bytes.begin() + kFrameHeaderSize, bytes.end());
    }
    return units;
}

size_t TotalSize(const std::vector<Bytes>& units)
{
    size_t total = 0;
    for (const Bytes& unit : units)
        total += unit.size();
    return total;
}

// Finds every start code of every access unit, as the NAL walk does.
void Scan(benchmark::State& state, const std::vector<Bytes>* units, StartCodeScan scan)
{
    size_t startCodes = 0;
    for (auto _ : state) {
        startCodes = 0;
        for (const Bytes& unit : *units) {
            const uint8_t* end = unit.data() + unit.size();
            for (const uint8_t* p = unit.data(); (p = scan(p, end)) != end; p += 3)
                ++startCodes;
        }
        benchmark::DoNotOptimize(startCodes);
    }
    state.counters["start_codes"] = static_cast<double>(startCodes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalSize(*units)));
}

// Copies every access unit and lists its start codes in the same pass, as
// the decoder fills the bitstream buffer.
void CopyFinding(benchmark::State& state, const std::vector<Bytes>* units, StartCodeCopy copy)
{
    Bytes destination(TotalSize(*units));
    std::vector<uint32_t> starts;
    size_t startCodes = 0;
    for (auto _ : state) {
        startCodes = 0;
        uint8_t* out = destination.data();
        for (const Bytes& unit : *units) {
            starts.clear();
            copy(out, unit.data(), unit.size(), starts);
            startCodes += starts.size();
            out += unit.size();
        }
        benchmark::ClobberMemory();
    }
    state.counters["start_codes"] = static_cast<double>(startCodes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalSize(*units)));
}

void Copy(benchmark::State& state, const std::vector<Bytes>* units)
{
    Bytes destination(TotalSize(*units));
    for (auto _ : state) {
        uint8_t* out = destination.data();
        for (const Bytes& unit : *units) {
            std::memcpy(out, unit.data(), unit.size());
            out += unit.size();
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalSize(*units)));
}

}  // namespace

int main(int argc, char** argv)
{
    static const struct {
        const char* name;
        const char* directory;
    } kCases[] = {{"h264_2160p", "h264/3840_2160"}, {"h265_2160p", "h265/3840_2160"}};
    static std::vector<Bytes> loaded[std::size(kCases)];
    for (size_t c = 0; c < std::size(kCases); ++c) {
        loaded[c] = LoadCase(kCases[c].directory);
        if (loaded[c].empty()) {
            std::fprintf(stderr, "start-code-scan-benchmark: no data/%s (make the data set first)\n", kCases[c].directory);
            return 1;
        }
        std::string name = kCases[c].name;
        benchmark::RegisterBenchmark((name + "/memcpy").c_str(), Copy, &loaded[c]);
        for (const StartCodeScanVariant& variant : StartCodeScanVariants()) {
            benchmark::RegisterBenchmark((name + "/scan_" + variant.name).c_str(), Scan, &loaded[c], variant.scan);
            benchmark::RegisterBenchmark((name + "/copy_finding_" + variant.name).c_str(), CopyFinding, &loaded[c],
                                         variant.copy);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
