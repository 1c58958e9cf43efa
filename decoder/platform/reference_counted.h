#pragma once

#include <atomic>

#include "decoder/platform/platform_types.h"

namespace platform {

// AddRef/Release for our own implementations of the interfaces. Bases is the
// list of interfaces the object implements; the object deletes itself when
// the last reference goes.
template <typename... Bases>
class ReferenceCounted : public Bases... {
public:
    ULONG AddRef() override { return ++m_References; }

    ULONG Release() override
    {
        ULONG remaining = --m_References;
        if (remaining == 0)
            delete this;
        return remaining;
    }

protected:
    ReferenceCounted() = default;
    virtual ~ReferenceCounted() = default;

private:
    std::atomic<ULONG> m_References{1};
};

}  // namespace platform
