#include "ipc/pingable_channel.h"

#include "ipc/callback_guard.h"
#include "logging/spdlog_logger.h"

PingableChannel::PingableChannel(uint32_t pingIntervalMs)
    : m_PingIntervalMs(pingIntervalMs)
{
}

bool PingableChannel::start(uv_loop_t* loop)
{
    int r = m_UvStreamLookupTimer.init([&](uv_timer_t* timer) {
        timer->data = this;
        return uv_timer_init(loop, timer);
    });
    if (r == 0)
        r = uv_timer_start(m_UvStreamLookupTimer.get(), OnTick, m_PingIntervalMs, m_PingIntervalMs);
    if (r < 0) {
        g_Logger.Log(LogLevel::error, "ping: uv_timer_start(m_UvStreamLookupTimer) error: %d (%s)", r, uv_strerror(r));
        return false;
    }
    return true;
}

bool PingableChannel::stop()
{
    if (m_UvStreamLookupTimer.isActive()) {
        int r = uv_timer_stop(m_UvStreamLookupTimer.get());
        if (r < 0) {
            g_Logger.Log(LogLevel::error, "ping: uv_timer_stop(m_UvStreamLookupTimer) error: %d (%s)", r,
                         uv_strerror(r));
            return false;
        }
    }
    m_UvStreamLookupTimer.close();
    return true;
}

bool PingableChannel::isActive() const
{
    return m_UvStreamLookupTimer.isActive();
}

void PingableChannel::OnTick(uv_timer_t* handle)
{
    RunGuarded("ping", [&] { static_cast<PingableChannel*>(handle->data)->ping(); });
}
