#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "bench/bench_case.h"

class VideoFrame;

// Where a case's frames come from: the bundled frame files, or the access
// units of a stream. A pass loads frames 0 to FrameCount() - 1 in order;
// loading frame 0 starts over.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    virtual size_t FrameCount() const = 0;
    // Loads frame `index`; null, with the reason logged, when it cannot be had.
    virtual std::unique_ptr<VideoFrame> Load(size_t index) = 0;
    // How a log line names frame `index`.
    virtual std::string FrameName(size_t index) const = 0;
};

// The frame files of a bundled case, one file per frame.
class FrameFileSource : public FrameSource {
public:
    explicit FrameFileSource(const BenchCase& benchCase) : m_Case(benchCase) {}

    size_t FrameCount() const override { return m_Case.frameCount; }
    std::unique_ptr<VideoFrame> Load(size_t index) override;
    std::string FrameName(size_t index) const override;

private:
    const BenchCase& m_Case;
};
