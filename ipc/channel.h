#pragma once

#include <cstddef>
#include <cstdint>

#include <uv.h>

// One layer of the control channel: owns one libuv handle and can bring it up
// on a loop and take it down again. ComChanChannel joins several layers over
// one shared Channel.
class Channel {
public:
    virtual ~Channel() = default;
    virtual bool start(uv_loop_t* loop) = 0;
    virtual bool stop() = 0;
    virtual bool isActive() const = 0;
};

// A channel that moves bytes: the transport writes, the protocol reads.
class IOChannel : public virtual Channel {
public:
    virtual bool isOpen() const = 0;
    virtual bool sendBytes(const char* data, size_t length) = 0;
    virtual void onData(const char* data, size_t length) = 0;
    virtual void onError(int32_t code) = 0;
};
