#pragma once

#include <memory>

#include <fmt/printf.h>

#include "logging/tarsel_logger.h"

namespace spdlog {
class logger;
namespace sinks {
class sink;
}  // namespace sinks
}  // namespace spdlog

// The process-wide logger: a rotating "tarsel.log" in the working directory.
class SpdlogLogger : public TarselLogger {
public:
    static constexpr const char* kFileName = "tarsel.log";
    static constexpr size_t kMaxFileSize = 0x500000;
    static constexpr size_t kMaxRotatedFiles = 5;

    bool Init() override;
    bool Shutdown() override;

    // Same set-up as Init but on a caller's sink, so tests can read the lines
    // without touching the file system.
    bool InitWithSink(std::shared_ptr<spdlog::sinks::sink> sink);

    // Writes out what the sink still holds, for an exit that skips destructors.
    void Flush();

    // printf-style conversions, checked against the argument types at run time
    // by fmt. Never throws: a bad format costs only its own line.
    template <typename... Args>
    bool Log(LogLevel level, const char* format, const Args&... args)
    {
        return LogPrintf(level, format, fmt::make_printf_args(args...));
    }

    std::shared_ptr<spdlog::logger> m_Logger;

private:
    // The one place lines are formatted, so that callers instantiate no
    // formatting code of their own.
    bool LogPrintf(LogLevel level, const char* format, fmt::printf_args args);
};

extern SpdlogLogger g_Logger;
