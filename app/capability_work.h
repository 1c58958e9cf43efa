#pragma once

#include <uv.h>

// Probes the machine's decoders on the worker pool, then, on the loop thread,
// sends the capability message and either queues the benchmark or, when none
// follows, shuts the channel down with Requested.
void QueueCapabilityProbe(uv_loop_t* loop, bool thenBenchmark);
