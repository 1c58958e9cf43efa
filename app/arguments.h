#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the command line asks for. Without arguments the program benchmarks
// and reports as it always has.
struct ProgramArguments {
    bool capabilities = false;      // --capabilities: the capability message before the benchmark
    bool capabilitiesOnly = false;  // --capabilities-only: the message, and no benchmark
    bool results = false;           // --results: the extended result after the report
    bool progress = false;          // --progress: a message per finished case
    uint32_t repeat = 1;            // --repeat N: recorded passes per case
    uint32_t warmup = 0;            // --warmup M: unrecorded passes before them
    std::optional<std::string> adapter;  // --adapter ID: that adapter's index or LUID
    bool allAdapters = false;       // --all-adapters: every adapter with video decoding, one results each
    std::optional<std::string> stream;  // --stream FILE: one case over that Annex B stream
    uint8_t streamCodec = 0;        // from --codec, else from the stream's file name
    // Why the command line cannot be run, naming the argument; empty when it can.
    std::string error;
};

ProgramArguments ParseArguments(const std::vector<std::string>& arguments);
