#include "decoder/dxva/dxva_buffer_space.h"

#include "logging/spdlog_logger.h"

bool DxvaBufferHasRoom(const void* buffer, size_t bufferSize, size_t needed, const char* what)
{
    if (buffer == nullptr) {
        g_Logger.Log(LogLevel::error, "decoder: no %s buffer to fill", what);
        return false;
    }
    if (bufferSize < needed) {
        g_Logger.Log(LogLevel::error, "decoder: %s buffer holds %zu bytes, %zu needed", what, bufferSize, needed);
        return false;
    }
    return true;
}
