#pragma once

#include <exception>
#include <memory>
#include <string>

#include <fmt/printf.h>
#include <spdlog/logger.h>

#include "logging/first_error_capture.h"
#include "logging/tarsel_logger.h"

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
    bool InitWithSink(spdlog::sink_ptr sink);

    // printf-style conversions, checked against the argument types at run time
    // by fmt. Never throws: a bad format costs only its own line.
    template <typename... Args>
    bool Log(LogLevel level, const char* format, const Args&... args)
    {
        std::shared_ptr<spdlog::logger> logger = m_Logger;
        auto spdLevel = static_cast<spdlog::level::level_enum>(level);
        const bool logs = logger && logger->should_log(spdLevel);
        const bool captured = level >= LogLevel::error && FirstErrorCapture::Active();
        if (!logs && !captured)
            return true;
        try {
            std::string line = fmt::sprintf(format, args...);
            if (captured)
                FirstErrorCapture::Offer(line);
            if (logs)
                logger->log(spdLevel, line);
        } catch (const std::exception& ex) {
            if (logs)
                logger->log(spdlog::level::err, std::string("log: bad format \"") + format + "\": " + ex.what());
        }
        return true;
    }

    std::shared_ptr<spdlog::logger> m_Logger;
};

extern SpdlogLogger g_Logger;
