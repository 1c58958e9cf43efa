#pragma once

#include <exception>

#include "logging/spdlog_logger.h"

// libuv calls back through C frames; an exception unwinding through them is
// undefined behaviour. Every callback body runs inside this guard.
template <typename Body>
void RunGuarded(const char* where, Body&& body) noexcept
{
    try {
        body();
    } catch (const std::exception& ex) {
        g_Logger.Log(LogLevel::error, "%s: unexpected exception in callback: %s", where, ex.what());
    } catch (...) {
        g_Logger.Log(LogLevel::error, "%s: unexpected exception in callback", where);
    }
}
