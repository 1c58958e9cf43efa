#pragma once

#include <optional>
#include <vector>

// Keeps the calling thread on one logical processor while it lives: the
// first its process may run on. Processors of one machine need not be alike
// (hybrid cores, or virtual ones whose host siblings are busy), and a thread
// the scheduler puts on one or another gives each run figures of its own; a
// measured run pinned to one processor compares with the next. The thread's
// earlier affinity comes back when the pin goes.
class ThreadPin {
public:
    ThreadPin();
    ~ThreadPin();
    ThreadPin(const ThreadPin&) = delete;
    ThreadPin& operator=(const ThreadPin&) = delete;

    // The processor's number; empty when the platform refused the pin.
    std::optional<int> Processor() const { return m_Processor; }

private:
    std::optional<int> m_Processor;
    std::vector<unsigned char> m_Previous;  // the platform's affinity record, as bytes
};
