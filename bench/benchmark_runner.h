#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "bench/bench_case.h"

class FrameSource;
class VideoDecoder;
class VideoFrame;

// Decodes every case's frame files, in table order, with the one decoder, and
// records per case whether every frame was accepted and how long it took. A
// case stops at its first refused or unreadable frame; the next case still runs.
void RunBenchmarkCases(VideoDecoder& decoder, std::span<BenchCase> cases);

// The same for one case over the access units of the Annex B stream at
// `path` (codec 0 H.264, 1 H.265): `benchCase` becomes its row (the path, the
// picture size of its first SPS, the codec and the number of access units,
// counted in a reading before the clock) with the pass and its time. A file
// that is no usable stream fails the case with one error line saying why.
void RunStreamCase(VideoDecoder& decoder, const std::string& path, uint8_t codec, BenchCase& benchCase);

// The steps of a run, shared with the measured run.

// Loads one frame file; null (logged, with the path) when it cannot be read.
std::unique_ptr<VideoFrame> LoadFrameFile(const std::string& fileName);
// Decodes a loaded frame, frame `index` of `source`: whether the decoder
// accepted it. Nothing may escape into the pool thread, so an exception
// counts as a refusal, logged with the frame's name.
bool DecodeLoadedFrame(VideoDecoder& decoder, std::unique_ptr<VideoFrame>& frame, const FrameSource& source,
                       size_t index);
// Decodes the source's frames in order, stopping at the first refused or
// unreadable one, then waits until the hardware has decoded them: whether
// all were accepted.
bool DecodeCasePass(VideoDecoder& decoder, FrameSource& source);
// Sets up, before any clock starts, what every pass reuses: the frame
// storage for the largest frame file and the probe's parser states; and reads
// the program's code once.
void PrepareRun(std::span<const BenchCase> cases);
// The same for a run whose largest frame is `largestFrame` bytes.
void PrepareRunFor(size_t largestFrame);
