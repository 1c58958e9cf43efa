#pragma once

#include <string>
#include <vector>

// What the command line asks for. Without arguments the program benchmarks
// and reports as it always has.
struct ProgramArguments {
    bool capabilities = false;      // --capabilities: the capability message before the benchmark
    bool capabilitiesOnly = false;  // --capabilities-only: the message, and no benchmark
    std::string unknown;            // the first argument that is neither; empty when all are known
};

ProgramArguments ParseArguments(const std::vector<std::string>& arguments);
