#include "ipc/cancelable_channel.h"

#include "logging/spdlog_logger.h"

CancelableChannel::~CancelableChannel() = default;

bool CancelableChannel::start(uv_loop_t* loop)
{
    int r = m_UvCancelUvAsync.init([&](uv_async_t* async) {
        async->data = this;
        return uv_async_init(loop, async, OnCancel);
    });
    if (r < 0) {
        g_Logger.Log(LogLevel::error, "cancel: uv_async_init(m_UvCancelUvAsync) error: %d (%s)", r, uv_strerror(r));
        return false;
    }
    return true;
}

bool CancelableChannel::stop()
{
    m_UvCancelUvAsync.close();
    return true;
}

bool CancelableChannel::isActive() const
{
    return m_UvCancelUvAsync.isActive();
}

int CancelableChannel::cancel()
{
    if (!m_UvCancelUvAsync.isInitialized())
        return UV_EINVAL;
    return uv_async_send(m_UvCancelUvAsync.get());
}

void CancelableChannel::OnCancel(uv_async_t* handle)
{
    uv_stop(handle->loop);
}
