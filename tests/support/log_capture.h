#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>

// Points g_Logger at an in-memory sink for the lifetime of the object, so a
// test can assert on the exact messages a unit logs. The previous logger is
// put back afterwards.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Message texts (without the pattern's date, name and level), oldest first.
    std::vector<std::string> messages() const;
    // "level: message" for each line, level as spdlog names it ("info", "error", ...).
    std::vector<std::string> lines() const;
    // True when some message contains the text.
    bool contains(const std::string& text) const;
    size_t count(const std::string& text) const;
    void clear();

private:
    class Sink;
    std::shared_ptr<Sink> m_Sink;
    std::shared_ptr<spdlog::logger> m_Previous;
};
