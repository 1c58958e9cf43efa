#pragma once

#include <cstddef>

// True when `buffer` can take `needed` bytes; otherwise logs which buffer
// was short and returns false.
bool DxvaBufferHasRoom(const void* buffer, size_t bufferSize, size_t needed, const char* what);
