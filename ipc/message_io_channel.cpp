#include "ipc/message_io_channel.h"

#include <string>
#include <thread>
#include <typeinfo>

#include "ipc/callback_guard.h"
#include "ipc/thread_id.h"
#include "logging/spdlog_logger.h"

bool MessageIOChannel::start(uv_loop_t* loop)
{
    int r = m_UvWakeAsync.init([&](uv_async_t* async) { return uv_async_init(loop, async, nullptr); });
    if (r < 0) {
        g_Logger.Log(LogLevel::error, "message: uv_async_init(m_UvWakeAsync) error: %d (%s)", r, uv_strerror(r));
        return false;
    }
    m_UvWakeAsync.get()->data = this;
    m_WakeOpen.store(true);

    r = m_UvSendPrepare.init([&](uv_prepare_t* prepare) { return uv_prepare_init(loop, prepare); });
    if (r == 0) {
        m_UvSendPrepare.get()->data = this;
        r = uv_prepare_start(m_UvSendPrepare.get(), OnPrepare);
    }
    if (r < 0) {
        g_Logger.Log(LogLevel::error, "message: uv_prepare_start(m_UvSendPrepare) error: %d (%s)", r, uv_strerror(r));
        return false;
    }
    m_LoopThreadId.store(CurrentThreadId());
    return true;
}

bool MessageIOChannel::stop()
{
    m_LoopThreadId.store(0);
    if (m_UvSendPrepare.isActive()) {
        int r = uv_prepare_stop(m_UvSendPrepare.get());
        if (r < 0) {
            g_Logger.Log(LogLevel::error, "message: uv_prepare_stop(m_UvSendPrepare) error: %d (%s)", r, uv_strerror(r));
            return false;
        }
    }
    m_UvSendPrepare.close();
    m_WakeOpen.store(false);
    while (m_WakeUsers.load() != 0)
        std::this_thread::yield();
    m_UvWakeAsync.close();
    return true;
}

bool MessageIOChannel::isActive() const
{
    return m_UvSendPrepare.isActive();
}

bool MessageIOChannel::send(std::unique_ptr<ComChanMessage> message)
{
    if (m_LoopThreadId.load() == CurrentThreadId()) {
        // Messages other threads queued before this one go first: a parent
        // reads them in the order they were sent, whichever thread sent them.
        drainQueue();
        return sendNow(std::move(message));
    }
    if (message == nullptr) {
        onMessageFailed(nullptr);
        return false;
    }

    // Noted before the push: once queued, the message belongs to the loop.
    const ComChanMessage& queued = *message;
    const std::type_info& type = typeid(queued);
    if (!m_SendQueue.tryPush(message)) {
        g_Logger.Log(LogLevel::error, "message: error, ctrl message queue is full, could not send message: %s",
                     MessageTypeName(message.get()).c_str());
        return false;
    }
    // The ring owns the message now; `message` is empty.
    int r = wakeLoop();
    if (r < 0) {
        g_Logger.Log(LogLevel::error, "message: unable to notify, got error: %d - %s - %s, message lost: %s", r,
                     uv_err_name(r), uv_strerror(r), TypeName(type).c_str());
        return false;
    }
    return true;
}

int MessageIOChannel::wakeLoop()
{
    m_WakeUsers.fetch_add(1);
    int r = 0;
    if (m_WakeOpen.load())
        r = uv_async_send(m_UvWakeAsync.get());
    m_WakeUsers.fetch_sub(1);
    return r;
}

bool MessageIOChannel::sendNow(std::unique_ptr<ComChanMessage> message)
{
    if (message == nullptr) {
        onMessageFailed(nullptr);
        return false;
    }
    int64_t n = -1;
    try {
        n = message->write(m_ScrachMessageBuffer, kScratchCapacity, 0);
    } catch (const std::exception&) {
        n = -1;
    }
    if (n < 0 || n > static_cast<int64_t>(kScratchCapacity)) {
        g_Logger.Log(LogLevel::error, "message: task->write(m_ScrachMessageBuffer, %zu) error: %zd", kScratchCapacity,
                     static_cast<ptrdiff_t>(n));
        onMessageFailed(std::move(message));
        return false;
    }
    if (n > 0 && !sendBytes(m_ScrachMessageBuffer, static_cast<size_t>(n))) {
        g_Logger.Log(LogLevel::error, "message: Send message failed (m_ScrachMessageBuffer, %zd)",
                     static_cast<ptrdiff_t>(n));
        onMessageFailed(std::move(message));
        return false;
    }
    onMessageSent(std::move(message));
    return true;
}

void MessageIOChannel::onMessageSent(std::unique_ptr<ComChanMessage> /*message*/)
{
}

void MessageIOChannel::onMessageFailed(std::unique_ptr<ComChanMessage> message)
{
    g_Logger.Log(LogLevel::error, "message: message failed to be sent: %s", MessageTypeName(message.get()).c_str());
}

void MessageIOChannel::OnPrepare(uv_prepare_t* handle)
{
    RunGuarded("message", [&] { static_cast<MessageIOChannel*>(handle->data)->drainQueue(); });
}

void MessageIOChannel::drainQueue()
{
    if (!isOpen())
        return;
    while (std::unique_ptr<ComChanMessage> message = m_SendQueue.tryPop()) {
        if (!sendNow(std::move(message)))
            break;
    }
}
