#pragma once

// Severity of a log line; the values match spdlog's levels one to one.
enum class LogLevel : int {
    trace = 0,
    debug = 1,
    info = 2,
    warn = 3,
    error = 4,
    critical = 5,
};

// The logger as the rest of the program sees it: set up once, shut down once.
class TarselLogger {
public:
    virtual bool Init() = 0;
    virtual bool Shutdown() = 0;
};
