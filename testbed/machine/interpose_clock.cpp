//
//  Sleep on a machine whose clock a test drives: it returns at once and moves the tick count
//  on by the time asked, so that retries spread over seconds run in no time. Otherwise it sleeps
//  on the machine's time scale, which a test variant sets.
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
    const DWORD scale = machine && machine->tickCountScale > 1 ? machine->tickCountScale : 1;
    if (milliseconds != 0 && milliseconds != INFINITE && scale > 1)
        milliseconds = milliseconds / scale ? milliseconds / scale : 1;
    static auto real = RealFunction<decltype(&::Sleep)>(L"kernel32.dll", "Sleep");
    real(milliseconds);
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(Sleep, 4, testbed::TestbedSleep)
