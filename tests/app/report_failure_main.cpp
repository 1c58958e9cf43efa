// The process as the product runs it, except that the first allocation on
// the loop thread after the benchmark has finished fails: building or
// sending the report then fails the way it does when memory runs out.
#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "app/bench_work.h"
#include "app/process_main.h"

namespace {

std::thread::id g_LoopThread;
std::atomic<bool> g_FailureSpent{false};

}  // namespace

void* operator new(std::size_t size)
{
    if (g_BenchmarkFinished && std::this_thread::get_id() == g_LoopThread && !g_FailureSpent.exchange(true))
        throw std::bad_alloc();
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

// Every allocation that reaches the deletes below must come from malloc.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

int main()
{
    g_LoopThread = std::this_thread::get_id();
    return RunTarselProcess({});
}
