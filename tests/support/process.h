#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

// Result of running a program to completion.
struct ProcessResult {
    int exitStatus = -1;  // as a parent sees it (0..255), -1 when killed by a signal
    std::string standardOutput;
};

// Runs `program` with no arguments in `workingDirectory`, with exactly the
// environment given (nothing inherited), and collects its standard output.
ProcessResult RunProcess(const std::filesystem::path& program,
                         const std::filesystem::path& workingDirectory,
                         const std::map<std::string, std::string>& environment);
