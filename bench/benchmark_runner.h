#pragma once

#include <memory>
#include <span>
#include <string>

#include "bench/bench_case.h"

class VideoDecoder;
class VideoFrame;

// Decodes every case's frame files, in table order, with the one decoder, and
// records per case whether every frame was accepted and how long it took. A
// case stops at its first refused or unreadable frame; the next case still runs.
void RunBenchmarkCases(VideoDecoder& decoder, std::span<BenchCase> cases);

// The steps of a run, shared with the measured run.

// Loads one frame file; null (logged, with the path) when it cannot be read.
std::unique_ptr<VideoFrame> LoadFrameFile(const std::string& fileName);
// Decodes a loaded frame: whether the decoder accepted it. Nothing may escape
// into the pool thread, so an exception counts as a refusal, logged.
bool DecodeLoadedFrame(VideoDecoder& decoder, std::unique_ptr<VideoFrame>& frame, const std::string& fileName);
// Both: any failure, a missing file included, counts as a refused frame.
bool DecodeFrameFile(VideoDecoder& decoder, const std::string& fileName);
// Decodes the case's frames in order, stopping at the first refused one,
// then waits until the hardware has decoded them: whether all were accepted.
bool DecodeCasePass(VideoDecoder& decoder, const BenchCase& benchCase);
// Sets up, before any clock starts, what every pass reuses: the frame
// storage for the largest frame file and the probe's parser states.
void PrepareRun(std::span<const BenchCase> cases);
