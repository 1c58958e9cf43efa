#include "bench/benchmark_runner.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>

#include "bench/frame_source.h"
#include "bench/frame_storage.h"
#include "bench/performance_counter.h"
#include "bench/program_code.h"
#include "bench/stream_source.h"
#include "bench/video_file_frame.h"
#include "decoder/video_decoder.h"
#include "logging/spdlog_logger.h"

std::unique_ptr<VideoFrame> LoadFrameFile(const std::string& fileName)
{
    try {
        return std::make_unique<VideoFileFrame>(fileName);
    } catch (...) {
        // The loader has logged why, with the path.
        return nullptr;
    }
}

bool DecodeLoadedFrame(VideoDecoder& decoder, std::unique_ptr<VideoFrame>& frame, const FrameSource& source,
                       size_t index)
{
    try {
        return decoder.Decode(frame) >= 0;
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "bench: decode of %s failed: %s", source.FrameName(index), ex.what());
    } catch (...) {
        g_Logger.Log(LogLevel::error, "bench: decode of %s failed", source.FrameName(index));
    }
    return false;
}

bool DecodeCasePass(VideoDecoder& decoder, FrameSource& source)
{
    bool passed = false;
    const size_t count = source.FrameCount();
    decoder.StartOver();
    for (size_t index = 0; index < count; ++index) {
        // Any failure, a missing frame included, counts as a refused frame.
        std::unique_ptr<VideoFrame> frame = source.Load(index);
        passed = frame && DecodeLoadedFrame(decoder, frame, source, index);
        if (!passed)
            break;
    }
    // The pass ends when the hardware has decoded its last picture, not
    // when that picture was handed over.
    if (count > 0 && decoder.WaitUntilDecoded() < 0)
        passed = false;
    return passed;
}

namespace {

void RunCase(VideoDecoder& decoder, FrameSource& source, BenchCase& benchCase)
{
    int64_t start = MonotonicNanoseconds();
    benchCase.passed = DecodeCasePass(decoder, source);
    benchCase.elapsedUs = MicrosecondsSince(start);
}

}  // namespace

// Before any clock starts: the frame storage is sized for the largest frame
// of the run and its pages are touched, as any careful reader sets up its
// buffer once, the probe's parser states are created and the program's code
// is read once.
void PrepareRunFor(size_t largestFrame)
{
    // Larger frames still load, into storage they grow themselves.
    constexpr size_t kLargestPrepared = 64 * 1024 * 1024;
    FrameStorage::Prepare(std::min(largestFrame, kLargestPrepared));
    PrepareStreamInfoProbe();
    g_Logger.Log(LogLevel::debug, "bench: %zu bytes of program code read before the run", ReadProgramCode());
}

// Frame files that cannot be seen now are left to the run to refuse.
void PrepareRun(std::span<const BenchCase> cases)
{
    uintmax_t largest = 0;
    for (const BenchCase& benchCase : cases) {
        for (int32_t index = 0; static_cast<int64_t>(index) < static_cast<int64_t>(benchCase.frameCount); ++index) {
            std::error_code error;
            uintmax_t size = std::filesystem::file_size(FrameFileName(benchCase, index), error);
            if (!error)
                largest = std::max(largest, size);
        }
    }
    PrepareRunFor(static_cast<size_t>(std::min<uintmax_t>(largest, SIZE_MAX)));
}

void RunBenchmarkCases(VideoDecoder& decoder, std::span<BenchCase> cases)
{
    PrepareRun(cases);
    for (BenchCase& benchCase : cases) {
        FrameFileSource source(benchCase);
        RunCase(decoder, source, benchCase);
    }
}

void RunStreamCase(VideoDecoder& decoder, const std::string& path, uint8_t codec, BenchCase& benchCase)
{
    benchCase = {path, 0, 0, codec, 0, false, 0};
    std::string error;
    std::unique_ptr<StreamFrameSource> source = StreamFrameSource::Open(path, codec, error);
    if (!source) {
        g_Logger.Log(LogLevel::error, "%s", error);
        return;
    }
    benchCase = source->Case();
    PrepareRunFor(source->LargestFrame());
    RunCase(decoder, *source, benchCase);
}
