#include <thread>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sched.h>
#endif

#include "bench/thread_pinning.h"

namespace {

#ifndef _WIN32
int AllowedCount()
{
    cpu_set_t allowed;
    return sched_getaffinity(0, sizeof(allowed), &allowed) == 0 ? CPU_COUNT(&allowed) : -1;
}

// Pinned, the thread runs on the first processor it may use and no other;
// afterwards it may use every one it could before.
TEST(ThreadPin, HoldsTheThreadOnTheFirstAllowedProcessorAndLetsGo)
{
    const int before = AllowedCount();
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof(allowed), &allowed), 0);
    int first = 0;
    while (!CPU_ISSET(first, &allowed))
        ++first;
    {
        ThreadPin pin;
        ASSERT_EQ(pin.Processor(), first);
        EXPECT_EQ(AllowedCount(), 1);
        std::this_thread::yield();
        EXPECT_EQ(sched_getcpu(), first);
    }
    EXPECT_EQ(AllowedCount(), before);
}
#endif

}  // namespace
