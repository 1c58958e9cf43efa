#include "app/channel_fd.h"

#include <cstdlib>

int ParseChannelFd(const char* text)
{
    // atoi's semantics are exactly the ones wanted; strtol avoids atoi's
    // undefined result on overflow.
    long value = std::strtol(text, nullptr, 10);
    return static_cast<int>(value);
}
