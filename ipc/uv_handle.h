#pragma once

#include <cstdlib>
#include <functional>
#include <new>

#include <uv.h>

// The life cycle of one libuv handle, written once for every channel layer.
//
// The memory is allocated zero-filled up front. Once the handle has been
// initialised, closing it hands the memory to libuv: it is freed by the close
// callback, so it stays valid for the loop even if the owning layer is
// destroyed before libuv has finished closing. A handle that was never
// initialised is simply freed with its owner.
template <typename HandleType>
class UvHandle {
public:
    UvHandle()
        : m_Handle(static_cast<HandleType*>(std::calloc(1, sizeof(HandleType))))
    {
        if (m_Handle == nullptr)
            throw std::bad_alloc();
    }

    ~UvHandle()
    {
        if (m_DeferredClose != nullptr)
            m_DeferredClose->owner = nullptr;
        if (m_State == State::Initialized)
            close();
        else if (m_State == State::Fresh)
            std::free(m_Handle);
    }

    UvHandle(const UvHandle&) = delete;
    UvHandle& operator=(const UvHandle&) = delete;

    // Null once the handle has been handed over for closing.
    HandleType* get() const { return m_Handle; }

    // Runs the libuv init call on the handle and remembers whether it worked,
    // so that only initialised handles are ever closed. A handle is
    // initialised at most once; there is no restart.
    template <typename InitFunction>
    int init(InitFunction&& initFunction)
    {
        if (m_State != State::Fresh)
            return UV_EALREADY;
        int result = initFunction(m_Handle);
        if (result == 0)
            m_State = State::Initialized;
        return result;
    }

    bool isInitialized() const { return m_State == State::Initialized; }
    bool isActive() const { return m_State == State::Initialized && uv_is_active(asHandle()) != 0; }
    bool isClosing() const
    {
        return m_State == State::Released || (m_State == State::Initialized && uv_is_closing(asHandle()) != 0);
    }

    void close()
    {
        if (m_State != State::Initialized || uv_is_closing(asHandle()))
            return;
        uv_close(asHandle(), FreeClosedHandle);
        release();
    }

    // Streams only: writes already queued with uv_write go out first, then the
    // handle closes. Returns true when the close has to wait for them;
    // onClosed then runs once they are done (unless this object is gone by
    // then). Returns false when the handle was closed at once.
    bool closeAfterWrites(std::function<void()> onClosed)
    {
        if (m_State != State::Initialized || uv_is_closing(asHandle()))
            return false;
        auto* stream = reinterpret_cast<uv_stream_t*>(m_Handle);
        if (uv_stream_get_write_queue_size(stream) == 0) {
            close();
            return false;
        }
        auto* deferred = new (std::nothrow) DeferredClose;
        if (deferred == nullptr || uv_shutdown(&deferred->request, stream, OnWritesDone) != 0) {
            delete deferred;
            close();
            return false;
        }
        deferred->request.data = deferred;
        deferred->owner = this;
        m_DeferredClose = deferred;
        m_OnDeferredClosed = std::move(onClosed);
        release();
        return true;
    }

    bool isClosePending() const { return m_DeferredClose != nullptr; }

    // Gives up waiting for the writes of a pending close: the handle closes
    // now, libuv cancels what is still queued, and onClosed runs as usual.
    // Returns the bytes that never went out (0 when no close was pending).
    size_t abandonWrites()
    {
        if (m_DeferredClose == nullptr)
            return 0;
        auto* handle = reinterpret_cast<uv_handle_t*>(m_DeferredClose->request.handle);
        size_t unsent = uv_stream_get_write_queue_size(m_DeferredClose->request.handle);
        if (!uv_is_closing(handle))
            uv_close(handle, FreeClosedHandle);
        return unsent;
    }

private:
    enum class State { Fresh, Initialized, Released };

    struct DeferredClose {
        uv_shutdown_t request{};
        UvHandle* owner = nullptr;
    };

    uv_handle_t* asHandle() const { return reinterpret_cast<uv_handle_t*>(m_Handle); }

    void release()
    {
        m_Handle = nullptr;
        m_State = State::Released;
    }

    static void FreeClosedHandle(uv_handle_t* handle) { std::free(handle); }

    // The status does not matter: whether the writes went out or failed
    // (the peer may be gone), the handle closes now.
    static void OnWritesDone(uv_shutdown_t* request, int /*status*/)
    {
        auto* deferred = static_cast<DeferredClose*>(request->data);
        auto* handle = reinterpret_cast<uv_handle_t*>(request->handle);
        // Someone tearing the whole loop down may have closed it already.
        if (!uv_is_closing(handle))
            uv_close(handle, FreeClosedHandle);
        UvHandle* owner = deferred->owner;
        delete deferred;
        if (owner == nullptr)
            return;
        owner->m_DeferredClose = nullptr;
        std::function<void()> onClosed = std::move(owner->m_OnDeferredClosed);
        owner->m_OnDeferredClosed = nullptr;
        if (onClosed)
            onClosed();
    }

    HandleType* m_Handle;
    State m_State = State::Fresh;
    DeferredClose* m_DeferredClose = nullptr;
    std::function<void()> m_OnDeferredClosed;
};
