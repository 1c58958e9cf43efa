#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

#include <uv.h>

#include "bench/measured_run.h"
#include "decoder/capability/adapter_plan.h"

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
    // The adapters the parent asked for, one run and results message each;
    // none: the one the decoder takes by its own rule.
    std::optional<AdapterPlan> adapters;
    bool allAdapters = false;  // the adapters message goes out, progress names the adapter
    // The user's stream, run as the one case instead of the case table.
    std::optional<std::string> stream;
    uint8_t streamCodec = 0;
};
extern BenchRequest g_BenchRequest;

void OnComChanConnected();
void OnComChanDisconnected(ComChanShutdownReason reason);
void OnDecoderOutputChanged(size_t width, size_t height, float, float frameRate);
void OnDecoderError(int code);

// Decodes the eight cases with one hardware decoder per adapter asked for
// (pool thread).
void RunBenchmark();
// Sends what every adapter asked for came to, the report built from the case
// table (the rule's adapter's), then each adapter's results message of an
// extended run, and shuts the channel down (loop thread).
void SendBenchReport();

void BenchWork(uv_work_t* request);
void BenchAfterWork(uv_work_t* request, int status);
