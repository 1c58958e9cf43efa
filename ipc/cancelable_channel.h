#pragma once

#include "ipc/channel.h"
#include "ipc/uv_handle.h"

// Owns an async handle whose signal stops the loop; signalling is safe from
// any thread. Only a base for the joined channel.
class CancelableChannel : public virtual Channel {
public:
    CancelableChannel() = default;
    ~CancelableChannel() override = 0;

    bool start(uv_loop_t* loop) override;
    bool stop() override;
    bool isActive() const override;

    // Any thread: makes the loop's uv_run return.
    int cancel();

private:
    static void OnCancel(uv_async_t* handle);

    UvHandle<uv_async_t> m_UvCancelUvAsync;
};
