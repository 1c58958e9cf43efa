#pragma once

#include <cstdint>

// A small process-wide id for the calling thread, never 0 (0 means "no
// thread"), stable for the thread's lifetime.
uint32_t CurrentThreadId();
