#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "ipc/channel.h"
#include "ipc/messages.h"
#include "ipc/spsc_ring.h"
#include "ipc/uv_handle.h"

// Sends messages to the parent, one line each, in the order they were sent.
// On the loop thread a message goes out at once, after any the ring holds;
// from any other thread it waits in a lock-free ring that the loop drains
// before it next polls for I/O.
class MessageIOChannel : public virtual IOChannel {
public:
    static constexpr uint32_t kQueueSlots = 32;
    static constexpr size_t kScratchSize = 65536;
    static constexpr size_t kScratchCapacity = 65535;

    MessageIOChannel() = default;

    bool start(uv_loop_t* loop) override;
    bool stop() override;
    bool isActive() const override;

    // Any thread. Takes ownership of the message whatever the outcome.
    virtual bool send(std::unique_ptr<ComChanMessage> message);
    // Loop thread only.
    virtual bool sendNow(std::unique_ptr<ComChanMessage> message);
    virtual void onMessageSent(std::unique_ptr<ComChanMessage> message);
    virtual void onMessageFailed(std::unique_ptr<ComChanMessage> message);

    // Same as send; for callers holding a freshly made message.
    bool send(ComChanMessage* message) { return send(std::unique_ptr<ComChanMessage>(message)); }

private:
    static void OnPrepare(uv_prepare_t* handle);
    void drainQueue();
    // Wakes the loop unless the wake handle is being closed.
    int wakeLoop();

    SpscRing<ComChanMessage, kQueueSlots> m_SendQueue;
    char m_ScrachMessageBuffer[kScratchSize];
    UvHandle<uv_prepare_t> m_UvSendPrepare;
    UvHandle<uv_async_t> m_UvWakeAsync;
    std::atomic<uint32_t> m_LoopThreadId{0};
    // Lets another thread signal the wake handle without racing its close:
    // the loop thread clears m_WakeOpen, then waits until no sender is inside.
    std::atomic<bool> m_WakeOpen{false};
    std::atomic<int> m_WakeUsers{0};
};
