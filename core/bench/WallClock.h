#pragma once
//
//  The clock of the timing harnesses that run under Wine: milliseconds from the performance
//  counter, as fine as the system gives them.
//
#include <windows.h>

inline double NowMs()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}
