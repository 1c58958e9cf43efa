#include "ipc/thread_id.h"

#include <atomic>

uint32_t CurrentThreadId()
{
    static std::atomic<uint32_t> s_NextId{1};
    thread_local const uint32_t t_Id = s_NextId.fetch_add(1, std::memory_order_relaxed);
    return t_Id;
}
