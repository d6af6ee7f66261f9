//
//  Sleep on a machine whose clock a test drives: it returns at once and moves the tick count
//  on by the time asked, so that retries spread over seconds run in no time.
//
#include "testbed/machine/Machine.h"
#include "testbed/machine/interpose.h"

namespace testbed {
namespace {

void WINAPI TestbedSleep(DWORD milliseconds)
{
    Machine* machine = Machine::Current();
    if (machine && machine->sleepAdvancesClock) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        machine->tickCountOffset += milliseconds;
        return;
    }
    static auto real = RealFunction<decltype(&::Sleep)>(L"kernel32.dll", "Sleep");
    // A test variant's time scale shortens every sleep, as it speeds up the tick count.
    const DWORD scale = machine ? machine->tickCountScale : 1;
    if (scale > 1 && milliseconds != 0 && milliseconds != INFINITE)
        milliseconds = milliseconds / scale ? milliseconds / scale : 1;
    real(milliseconds);
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(Sleep, 4, testbed::TestbedSleep)
