#pragma once

#include <atomic>
#include <cstddef>

#include <uv.h>

#include "bench/measured_run.h"

class ComChanChannel;
enum class ComChanShutdownReason;

// Set once by main before the loop runs; never deleted.
extern ComChanChannel* g_ComChan;

// True once the last work queued on the pool has returned: the benchmark's,
// or the capability probe's when no benchmark follows. Until then the pool
// thread may still use the process-wide objects.
extern std::atomic<bool> g_BenchmarkFinished;

// What the command line asked of the benchmark; set once by main before the
// loop runs. Without `extended` the run is timed and reported as it always was.
struct BenchRequest {
    bool extended = false;  // set-up apart, repeats, latency, checked data, the results message
    bool progress = false;  // a message per finished case
    MeasureSettings settings;
};
extern BenchRequest g_BenchRequest;

void OnComChanConnected();
void OnComChanDisconnected(ComChanShutdownReason reason);
void OnDecoderOutputChanged(size_t width, size_t height, float, float frameRate);
void OnDecoderError(int code);

// Decodes the eight cases with one hardware decoder (pool thread).
void RunBenchmark();
// Sends the report built from the case table, then the results message of an
// extended run, and shuts the channel down (loop thread).
void SendBenchReport();

void BenchWork(uv_work_t* request);
void BenchAfterWork(uv_work_t* request, int status);
