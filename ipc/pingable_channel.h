#pragma once

#include <cstdint>

#include "ipc/channel.h"
#include "ipc/uv_handle.h"

// Owns a repeating timer that calls ping() once per period, the first time
// one full period after start.
class PingableChannel : public virtual Channel {
public:
    explicit PingableChannel(uint32_t pingIntervalMs);

    bool start(uv_loop_t* loop) override;
    bool stop() override;
    bool isActive() const override;

    virtual void ping() = 0;

protected:
    uint32_t m_PingIntervalMs;

private:
    static void OnTick(uv_timer_t* handle);

    UvHandle<uv_timer_t> m_UvStreamLookupTimer;
};
