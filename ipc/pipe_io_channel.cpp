#include "ipc/pipe_io_channel.h"

#include <csignal>
#include <cstring>
#include <new>
#include <vector>

#include "ipc/callback_guard.h"
#include "logging/spdlog_logger.h"

struct PipeIOChannel::WriteRequest {
    uv_write_t request{};
    std::vector<char> bytes;
};

PipeIOChannel::PipeIOChannel(int fd)
    : m_Fd(fd)
{
}

bool PipeIOChannel::start(uv_loop_t* loop)
{
#ifndef _WIN32
    // A write to a pipe whose reader has gone must come back as EPIPE, not
    // kill the process before it can shut down in order.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    m_Loop = loop;
    int r = m_UvUdpClient.init([&](uv_pipe_t* pipe) { return uv_pipe_init(loop, pipe, m_Ipc ? 1 : 0); });
    if (r < 0) {
        g_Logger.Log(LogLevel::error, "pipe: uv_pipe_init() error: %d (%s)", r, uv_strerror(r));
        return false;
    }
    r = uv_pipe_open(m_UvUdpClient.get(), m_Fd);
    if (r < 0) {
        g_Logger.Log(LogLevel::error, "pipe: uv_pipe_open() error: %d (%s)", r, uv_strerror(r));
        return false;
    }
    m_UvUdpClient.get()->data = this;
    r = uv_read_start(stream(), OnAllocate, OnRead);
    if (r < 0) {
        g_Logger.Log(LogLevel::error, "pipe: uv_pipe_recv_start(m_UvUdpClient) error: %d (%s)", r, uv_strerror(r));
        return false;
    }
    m_Open = true;
    return true;
}

bool PipeIOChannel::stop()
{
    m_Open = false;
    if (m_UvUdpClient.isActive()) {
        int r = uv_read_stop(stream());
        if (r < 0) {
            g_Logger.Log(LogLevel::error, "pipe: uv_pipe_recv_stop(m_UvUdpClient) error: %d (%s)", r, uv_strerror(r));
            return false;
        }
    }
    // A report written just before stop may still sit in libuv's queue;
    // closing at once would cancel it, so the close waits for it, but only
    // for kCloseWaitMs.
    bool waits = m_UvUdpClient.closeAfterWrites([this] {
        m_UvCloseWaitTimer.close();
        onPipeClosedAfterWrites();
    });
    if (waits) {
        int r = m_UvCloseWaitTimer.init([&](uv_timer_t* timer) { return uv_timer_init(m_Loop, timer); });
        if (r == 0) {
            m_UvCloseWaitTimer.get()->data = this;
            r = uv_timer_start(m_UvCloseWaitTimer.get(), OnCloseWaitExpired, kCloseWaitMs, 0);
        }
        if (r < 0) {
            g_Logger.Log(LogLevel::error, "pipe: close wait timer error: %d (%s), closing without waiting", r,
                         uv_strerror(r));
            m_UvCloseWaitTimer.close();
            m_UvUdpClient.abandonWrites();
        }
    }
    return true;
}

void PipeIOChannel::OnCloseWaitExpired(uv_timer_t* timer)
{
    RunGuarded("pipe", [&] {
        auto* self = static_cast<PipeIOChannel*>(timer->data);
        size_t unsent = self->m_UvUdpClient.abandonWrites();
        g_Logger.Log(LogLevel::error, "pipe: queued writes not done after %llu ms, closing with %zu bytes unsent",
                     static_cast<unsigned long long>(kCloseWaitMs), unsent);
    });
}

bool PipeIOChannel::isActive() const
{
    return m_UvUdpClient.isActive();
}

bool PipeIOChannel::sendBytes(const char* data, size_t length)
{
    int r = UV_EBADF;
    if (m_UvUdpClient.isInitialized() && !m_UvUdpClient.isClosing()) {
        uv_buf_t buffer = uv_buf_init(const_cast<char*>(data), static_cast<unsigned int>(length));
        r = uv_try_write(stream(), &buffer, 1);
    }
    if (r >= 0) {
        if (static_cast<size_t>(r) == length)
            return true;
        // Half a line would corrupt the parent's framing: the rest is queued.
        if (queueWrite(data + r, length - static_cast<size_t>(r)) == 0)
            return true;
        g_Logger.Log(LogLevel::error,
                     "pipe: uv_pipe_try_send failed to send the whole message, data might be truncated (%d != %zu)", r,
                     length);
        return false;
    }
    if (r == UV_EAGAIN) {
        r = queueWrite(data, length);
        if (r < 0) {
            g_Logger.Log(LogLevel::error, "pipe: write fail error: %d (%s:%s)", r, uv_err_name(r), uv_strerror(r));
            return false;
        }
        return true;
    }
    g_Logger.Log(LogLevel::error, "pipe: uv_pipe_send(m_UvUdpClient) error: %d (%s:%s)", r, uv_err_name(r),
                 uv_strerror(r));
    return false;
}

int PipeIOChannel::queueWrite(const char* data, size_t length)
{
    auto* request = new (std::nothrow) WriteRequest;
    if (request == nullptr)
        return UV_ENOMEM;
    try {
        request->bytes.assign(data, data + length);
    } catch (const std::bad_alloc&) {
        delete request;
        return UV_ENOMEM;
    }
    uv_buf_t buffer = uv_buf_init(request->bytes.data(), static_cast<unsigned int>(length));
    request->request.data = request;
    int r = uv_write(&request->request, stream(), &buffer, 1, OnWriteDone);
    if (r < 0)
        delete request;
    return r;
}

void PipeIOChannel::OnAllocate(uv_handle_t* handle, size_t /*suggestedSize*/, uv_buf_t* buffer)
{
    auto* self = static_cast<PipeIOChannel*>(handle->data);
    *buffer = uv_buf_init(self->m_ReadBuffer, static_cast<unsigned int>(kReadBufferSize));
}

void PipeIOChannel::OnRead(uv_stream_t* stream, ssize_t nread, const uv_buf_t* buffer)
{
    RunGuarded("pipe", [&] {
        auto* self = static_cast<PipeIOChannel*>(stream->data);
        if (nread >= 0 && static_cast<size_t>(nread) <= buffer->len)
            self->onData(buffer->base, static_cast<size_t>(nread));
        else
            self->onError(static_cast<int32_t>(nread));
    });
}

// The status is not needed: a failed write shows up as a read error too.
void PipeIOChannel::OnWriteDone(uv_write_t* request, int /*status*/)
{
    delete static_cast<WriteRequest*>(request->data);
}
