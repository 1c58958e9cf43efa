#include "support/log_capture.h"

#include "logging/spdlog_logger.h"

class LogCapture::Sink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<std::pair<std::string, std::string>> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return m_Lines;
    }
    void reset()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        m_Lines.clear();
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        auto levelName = spdlog::level::to_string_view(msg.level);
        m_Lines.emplace_back(std::string(levelName.data(), levelName.size()),
                             std::string(msg.payload.data(), msg.payload.size()));
    }
    void flush_() override {}

private:
    std::vector<std::pair<std::string, std::string>> m_Lines;
};

LogCapture::LogCapture()
    : m_Sink(std::make_shared<Sink>())
    , m_Previous(g_Logger.m_Logger)
{
    g_Logger.InitWithSink(m_Sink);
}

LogCapture::~LogCapture()
{
    g_Logger.m_Logger = m_Previous;
}

std::vector<std::string> LogCapture::messages() const
{
    std::vector<std::string> out;
    for (auto& [level, text] : m_Sink->snapshot())
        out.push_back(text);
    return out;
}

std::vector<std::string> LogCapture::lines() const
{
    std::vector<std::string> out;
    for (auto& [level, text] : m_Sink->snapshot())
        out.push_back(level + ": " + text);
    return out;
}

bool LogCapture::contains(const std::string& text) const
{
    return count(text) > 0;
}

size_t LogCapture::count(const std::string& text) const
{
    size_t n = 0;
    for (auto& [level, line] : m_Sink->snapshot())
        if (line.find(text) != std::string::npos)
            ++n;
    return n;
}

void LogCapture::clear()
{
    m_Sink->reset();
}
