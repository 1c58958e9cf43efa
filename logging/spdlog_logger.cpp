#include "logging/spdlog_logger.h"

#include <iostream>

#include <spdlog/pattern_formatter.h>
#include <spdlog/spdlog.h>

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

bool SpdlogLogger::InitWithSink(spdlog::sink_ptr sink)
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

bool SpdlogLogger::Shutdown()
{
    spdlog::drop_all();
    return true;
}
