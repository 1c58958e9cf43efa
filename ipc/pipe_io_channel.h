#pragma once

#include <cstddef>
#include <cstdint>

#include "ipc/channel.h"
#include "ipc/uv_handle.h"

// Transport over the pipe inherited from the parent, opened in libuv's IPC
// mode to match the parent's end. Reads land in one buffer inside the object
// and are handed on as they arrive; framing is the layers' above.
class PipeIOChannel : public virtual IOChannel {
public:
    static constexpr size_t kReadBufferSize = 65535;
    // How long stop() lets the parent take the writes still queued before
    // the pipe is closed without them.
    static constexpr uint64_t kCloseWaitMs = 5000;

    explicit PipeIOChannel(int fd);

    bool start(uv_loop_t* loop) override;
    bool stop() override;
    bool isActive() const override;
    bool isOpen() const override { return m_Open; }
    bool sendBytes(const char* data, size_t length) override;

    // True between a stop() that found writes still queued and the moment
    // they have gone out (or failed) and the pipe closes.
    bool isClosePending() const { return m_UvUdpClient.isClosePending(); }

protected:
    // Called once the writes still queued at stop() are done and the pipe
    // has been closed.
    virtual void onPipeClosedAfterWrites() {}

private:
    struct WriteRequest;

    static void OnAllocate(uv_handle_t* handle, size_t suggestedSize, uv_buf_t* buffer);
    static void OnRead(uv_stream_t* stream, ssize_t nread, const uv_buf_t* buffer);
    static void OnWriteDone(uv_write_t* request, int status);
    static void OnCloseWaitExpired(uv_timer_t* timer);

    uv_stream_t* stream() const { return reinterpret_cast<uv_stream_t*>(m_UvUdpClient.get()); }
    // Queues a copy of the bytes: the caller's buffer is reused at once.
    int queueWrite(const char* data, size_t length);

    bool m_Ipc = true;
    int m_Fd;
    char m_ReadBuffer[kReadBufferSize];
    bool m_Open = false;
    uv_loop_t* m_Loop = nullptr;
    UvHandle<uv_pipe_t> m_UvUdpClient;
    // Bounds the wait of a close that found writes queued: a parent that
    // stays but stops reading must not keep this process alive.
    UvHandle<uv_timer_t> m_UvCloseWaitTimer;
};
