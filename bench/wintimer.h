// Seconds from the performance counter, for the Windows benchmarks.
#ifndef QEL_BENCH_WINTIMER_H
#define QEL_BENCH_WINTIMER_H

#include <windows.h>

inline double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

#endif
