#include "bench/thread_pinning.h"

#include <cstring>

#include <windows.h>

ThreadPin::ThreadPin()
{
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0)
        return;
    int processor = 0;
    while (!(process & (DWORD_PTR{1} << processor)))
        ++processor;
    const DWORD_PTR previous = SetThreadAffinityMask(GetCurrentThread(), DWORD_PTR{1} << processor);
    if (previous == 0)
        return;
    m_Processor = processor;
    m_Previous.resize(sizeof(previous));
    std::memcpy(m_Previous.data(), &previous, sizeof(previous));
}

ThreadPin::~ThreadPin()
{
    if (!m_Processor)
        return;
    DWORD_PTR previous = 0;
    std::memcpy(&previous, m_Previous.data(), sizeof(previous));
    SetThreadAffinityMask(GetCurrentThread(), previous);
}
