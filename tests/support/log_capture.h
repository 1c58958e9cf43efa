#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <spdlog/sinks/base_sink.h>

#include "logging/spdlog_logger.h"

// Points g_Logger at an in-memory sink for the lifetime of the object, so a
// test can assert on the exact messages a unit logs. The previous logger is
// put back afterwards.
class LogCapture {
public:
    LogCapture() { g_Logger.InitWithSink(m_Sink); }
    ~LogCapture() { g_Logger.m_Logger = m_Previous; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Message texts (without the pattern's date, name and level), oldest first.
    std::vector<std::string> messages() const { return m_Sink->snapshot(false); }
    // "level: message" for each line, level as spdlog names it ("info", "error", ...).
    std::vector<std::string> lines() const { return m_Sink->snapshot(true); }
    // True when some message contains the text.
    bool contains(const std::string& text) const { return count(text) > 0; }
    size_t count(const std::string& text) const
    {
        const std::vector<std::string> all = messages();
        return std::count_if(all.begin(), all.end(), [&](auto& message) { return message.find(text) != message.npos; });
    }
    void clear() { g_Logger.InitWithSink(m_Sink = std::make_shared<Sink>()); }

private:
    // Keeps "level: message" for each line.
    class Sink : public spdlog::sinks::base_sink<std::mutex> {
    public:
        std::vector<std::string> snapshot(bool withLevel)
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::vector<std::string> out;
            for (const std::string& line : m_Lines)
                out.push_back(withLevel ? line : line.substr(line.find(": ") + 2));
            return out;
        }

    protected:
        void sink_it_(const spdlog::details::log_msg& msg) override
        {
            m_Lines.push_back(fmt::format("{}: {}", spdlog::level::to_string_view(msg.level), msg.payload));
        }
        void flush_() override {}

    private:
        std::vector<std::string> m_Lines;
    };

    std::shared_ptr<Sink> m_Sink = std::make_shared<Sink>();
    std::shared_ptr<spdlog::logger> m_Previous = g_Logger.m_Logger;
};
