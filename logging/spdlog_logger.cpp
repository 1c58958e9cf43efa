#include "logging/spdlog_logger.h"

#include <exception>
#include <iostream>
#include <string>

#include <spdlog/pattern_formatter.h>
#include <spdlog/spdlog.h>

#include "logging/first_error_capture.h"
#include "logging/rotating_log_sink.h"

SpdlogLogger g_Logger;

bool SpdlogLogger::Init()
{
    try {
        auto sink = std::make_shared<RotatingLogSink>(kFileName, kMaxFileSize, kMaxRotatedFiles);
        return InitWithSink(std::move(sink));
    } catch (const spdlog::spdlog_ex& ex) {
        std::cout << "Log init failed: " << ex.what() << std::endl;
        return false;
    }
}

bool SpdlogLogger::InitWithSink(std::shared_ptr<spdlog::sinks::sink> sink)
{
    // Constructed directly rather than through spdlog's factories so that the
    // logger stays out of the registry and survives Shutdown.
    auto logger = std::make_shared<spdlog::logger>("global", std::move(sink));
    // Default pattern, but CR LF on every platform: the parent's tooling reads
    // the file the same way everywhere.
    logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(spdlog::pattern_time_type::local, "\r\n"));
    logger->set_level(spdlog::level::trace);
    // Failures reach the file at once: a run killed after one still shows why.
    logger->flush_on(spdlog::level::warn);
    m_Logger = std::move(logger);
    return true;
}

void SpdlogLogger::Flush()
{
    if (std::shared_ptr<spdlog::logger> logger = m_Logger)
        logger->flush();
}

bool SpdlogLogger::Shutdown()
{
    spdlog::drop_all();
    return true;
}

bool SpdlogLogger::LogPrintf(LogLevel level, const char* format, fmt::printf_args args)
{
    std::shared_ptr<spdlog::logger> logger = m_Logger;
    auto spdLevel = static_cast<spdlog::level::level_enum>(level);
    const bool logs = logger && logger->should_log(spdLevel);
    const bool captured = level >= LogLevel::error && FirstErrorCapture::Active();
    if (!logs && !captured)
        return true;
    try {
        std::string line = fmt::vsprintf(fmt::string_view(format), args);
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
