#include "support/log_capture.h"

#include "logging/spdlog_logger.h"

class LogCapture::Sink : public spdlog::sinks::base_sink<std::mutex> {
public:
    // "level: message" for each line, oldest first.
    std::vector<std::string> snapshot(bool withLevel)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> out;
        for (auto& [level, text] : m_Lines)
            out.push_back(withLevel ? level + ": " + text : text);
        return out;
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        auto level = spdlog::level::to_string_view(msg.level);
        m_Lines.emplace_back(std::string(level.data(), level.size()), std::string(msg.payload.data(), msg.payload.size()));
    }
    void flush_() override {}

private:
    std::vector<std::pair<std::string, std::string>> m_Lines;
};

LogCapture::LogCapture() : m_Sink(std::make_shared<Sink>()), m_Previous(g_Logger.m_Logger)
{
    g_Logger.InitWithSink(m_Sink);
}

LogCapture::~LogCapture()
{
    g_Logger.m_Logger = m_Previous;
}

std::vector<std::string> LogCapture::messages() const { return m_Sink->snapshot(false); }
std::vector<std::string> LogCapture::lines() const { return m_Sink->snapshot(true); }
bool LogCapture::contains(const std::string& text) const { return count(text) > 0; }
void LogCapture::clear() { g_Logger.InitWithSink(m_Sink = std::make_shared<Sink>()); }

size_t LogCapture::count(const std::string& text) const
{
    size_t n = 0;
    for (auto& message : messages())
        n += message.find(text) != std::string::npos;
    return n;
}
