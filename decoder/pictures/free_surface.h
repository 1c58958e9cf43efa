#pragma once

#include <cstdint>

// The lowest of `count` surfaces that `held` says no kept picture occupies;
// false when every one is held. Both codecs' picture buffers place a new
// picture there.
template <typename Held>
bool LowestFreeSurface(uint32_t count, Held held, uint32_t& surface)
{
    for (uint32_t index = 0; index < count; ++index) {
        if (!held(index)) {
            surface = index;
            return true;
        }
    }
    return false;
}
