#pragma once
//
//  The variant's time scale: thread timers, Sleep and the tick count run this many times
//  faster, so that the service's 60, 15, 10 and 5 second periods pass in seconds. Waits with a
//  time-out are left alone: they bound work that takes real time.
//
#include <windows.h>

namespace testbed {
namespace variant {

void SetTimeScale(DWORD scale);
DWORD TimeScale();
// A period of the program as it runs on the scale; never below 1 ms for a non-zero period.
DWORD Scaled(DWORD milliseconds);

}  // namespace variant
}  // namespace testbed
