//
//  Time as the variant's programs see it: thread timers shortened by the time scale. The
//  tick count and Sleep are the machine's (testbed/machine), which follow the same scale.
//
#include "testbed/machine/Machine.h"
#include "testbed/machine/interpose.h"
#include "testbed/variant/TimeScale.h"

#include <atomic>

namespace testbed {
namespace variant {
namespace {

std::atomic<DWORD> g_scale{1};
std::atomic<ULONGLONG> g_base64{0};

UINT_PTR WINAPI TestbedSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure)
{
    static auto real = RealFunction<decltype(&::SetTimer)>(L"user32.dll", "SetTimer");
    // Only thread timers carry the program's periods; window timers drive its windows.
    if (!window)
        elapse = Scaled(elapse);
    return real(window, id, elapse, procedure);
}

ULONGLONG WINAPI TestbedGetTickCount64()
{
    static auto real = RealFunction<decltype(&::GetTickCount64)>(L"kernel32.dll", "GetTickCount64");
    const ULONGLONG now = real();
    const ULONGLONG base = g_base64.load();
    Machine* machine = Machine::Current();
    return base + (now - base) * g_scale.load() + (machine ? machine->tickCountOffset : 0);
}

}  // namespace

void SetTimeScale(DWORD scale)
{
    static auto real = RealFunction<decltype(&::GetTickCount64)>(L"kernel32.dll", "GetTickCount64");
    g_base64.store(real());
    g_scale.store(scale ? scale : 1);
    if (Machine* machine = Machine::Current()) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        machine->tickCountBase = static_cast<DWORD>(g_base64.load());
        machine->tickCountScale = scale ? scale : 1;
    }
}

DWORD TimeScale() { return g_scale.load(); }

DWORD Scaled(DWORD milliseconds)
{
    if (milliseconds == 0 || milliseconds == INFINITE)
        return milliseconds;
    const DWORD scaled = milliseconds / g_scale.load();
    return scaled ? scaled : 1;
}

}  // namespace variant
}  // namespace testbed

TESTBED_INTERPOSE(SetTimer, 16, testbed::variant::TestbedSetTimer)
TESTBED_INTERPOSE(GetTickCount64, 0, testbed::variant::TestbedGetTickCount64)
