#pragma once

#include <optional>

#include <uv.h>

#include "decoder/capability/capability_probe.h"

// Probes the machine's decoders on the worker pool, then, on the loop thread,
// sends the capability message and either queues the benchmark or, when none
// follows, shuts the channel down with Requested. A machine probed already
// (to choose adapters) is reported as it was found.
void QueueCapabilityProbe(uv_loop_t* loop, bool thenBenchmark, std::optional<MachineCapabilities> probed);
