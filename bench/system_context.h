#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// What a result is measured on and with, for the results message:
// {"program": {name, version, commit, buildType, compiler},
//  "os": {name, release, build, description[, wine]},
//  "cpu": {model, logicalCores}, "memory": {totalBytes}, "time": "...Z"}.
// Values the machine does not tell are null ("unknown" for the CPU model).
nlohmann::json SystemContext();

nlohmann::json ProgramDescription();
// "YYYY-MM-DDTHH:MM:SSZ", whole seconds.
std::string FormatUtcTime(std::chrono::system_clock::time_point time);
// The x86 CPUID brand string, tidied; empty on other processors or when
// the processor has none.
std::string CpuBrandString();
// Trims the ends and folds runs of spaces: brand strings are padded.
std::string TidyCpuName(std::string_view name);

// The platform's file answers these.
nlohmann::json OsDescription();
// The CPU model as the system names it, for when CPUID gives none; empty
// when unknown.
std::string SystemCpuModel();
std::optional<uint64_t> TotalMemoryBytes();

// Readers of Linux's text files, portable so that their tests run anywhere.
// The unquoted PRETTY_NAME of an os-release file; empty when absent.
std::string OsReleasePrettyName(std::string_view osRelease);
// The first "model name" of /proc/cpuinfo; empty when absent.
std::string CpuinfoModelName(std::string_view cpuinfo);
