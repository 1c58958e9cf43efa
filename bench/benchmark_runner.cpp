#include "bench/benchmark_runner.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>

#include "bench/frame_storage.h"
#include "bench/performance_counter.h"
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

bool DecodeLoadedFrame(VideoDecoder& decoder, std::unique_ptr<VideoFrame>& frame, const std::string& fileName)
{
    try {
        return decoder.Decode(frame) >= 0;
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "bench: decode of %s failed: %s", fileName, ex.what());
    } catch (...) {
        g_Logger.Log(LogLevel::error, "bench: decode of %s failed", fileName);
    }
    return false;
}

bool DecodeFrameFile(VideoDecoder& decoder, const std::string& fileName)
{
    std::unique_ptr<VideoFrame> frame = LoadFrameFile(fileName);
    return frame && DecodeLoadedFrame(decoder, frame, fileName);
}

bool DecodeCasePass(VideoDecoder& decoder, const BenchCase& benchCase)
{
    bool passed = false;
    for (int32_t index = 0; static_cast<int64_t>(index) < static_cast<int64_t>(benchCase.frameCount); ++index) {
        passed = DecodeFrameFile(decoder, FrameFileName(benchCase, index));
        if (!passed)
            break;
    }
    // The pass ends when the hardware has decoded its last picture, not
    // when that picture was handed over.
    if (benchCase.frameCount > 0 && decoder.WaitUntilDecoded() < 0)
        passed = false;
    return passed;
}

namespace {

void RunCase(VideoDecoder& decoder, BenchCase& benchCase)
{
    int64_t start = MonotonicNanoseconds();
    benchCase.passed = DecodeCasePass(decoder, benchCase);
    benchCase.elapsedUs = MicrosecondsSince(start);
}

// Before any clock starts: the frame storage is sized for the largest frame
// file of the run and its pages are touched, as any careful reader sets up
// its buffer once, and the probe's parser states are created. Files that
// cannot be seen now are left to the run to refuse.
}  // namespace

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
    // Larger files still load, into storage they grow themselves.
    constexpr uintmax_t kLargestPrepared = 64 * 1024 * 1024;
    FrameStorage::Prepare(static_cast<size_t>(std::min(largest, kLargestPrepared)));
    PrepareStreamInfoProbe();
}

void RunBenchmarkCases(VideoDecoder& decoder, std::span<BenchCase> cases)
{
    PrepareRun(cases);
    for (BenchCase& benchCase : cases)
        RunCase(decoder, benchCase);
}
