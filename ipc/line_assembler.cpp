#include "ipc/line_assembler.h"

#include <cstring>

#include "logging/spdlog_logger.h"

void LineAssembler::feed(const char* data, size_t length, const LineHandler& onLine)
{
    size_t position = 0;
    while (position < length) {
        const void* found = std::memchr(data + position, '\n', length - position);
        const char* newline = static_cast<const char*>(found);
        size_t segmentEnd = newline != nullptr ? static_cast<size_t>(newline - data) : length;
        size_t segmentLength = segmentEnd - position;

        if (m_Skipping) {
            // still inside a line that was already dropped
        } else if (m_Pending.size() + segmentLength > kMaxLineLength) {
            g_Logger.Log(LogLevel::error, "ipc: line longer than %zu bytes dropped", kMaxLineLength);
            m_Pending.clear();
            m_Skipping = true;
        } else if (newline == nullptr) {
            m_Pending.append(data + position, segmentLength);
        } else {
            bool keepGoing;
            if (m_Pending.empty()) {
                keepGoing = onLine(std::string_view(data + position, segmentLength));
            } else {
                m_Pending.append(data + position, segmentLength);
                std::string line = std::move(m_Pending);
                m_Pending.clear();
                keepGoing = onLine(line);
            }
            if (!keepGoing) {
                reset();
                return;
            }
        }

        if (newline == nullptr)
            break;
        m_Skipping = false;
        position = segmentEnd + 1;
    }
}

void LineAssembler::reset()
{
    m_Pending.clear();
    m_Skipping = false;
}
