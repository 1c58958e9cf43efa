#include "bench/thread_pinning.h"

#include <cstring>

#include <sched.h>

ThreadPin::ThreadPin()
{
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0)
        return;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &allowed))
            continue;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        if (sched_setaffinity(0, sizeof(one), &one) == 0) {
            m_Processor = cpu;
            m_Previous.resize(sizeof(allowed));
            std::memcpy(m_Previous.data(), &allowed, sizeof(allowed));
        }
        return;
    }
}

ThreadPin::~ThreadPin()
{
    if (!m_Processor)
        return;
    cpu_set_t allowed;
    std::memcpy(&allowed, m_Previous.data(), sizeof(allowed));
    sched_setaffinity(0, sizeof(allowed), &allowed);
}
