//
//  The Windows version the simulated PC runs, for code that decides by it.
//
#include "testbed/machine/Machine.h"
#include "testbed/machine/interpose.h"

namespace testbed {
namespace {

BOOL WINAPI TestbedGetVersionExW(LPOSVERSIONINFOW info)
{
    static auto real = RealFunction<decltype(&::GetVersionExW)>(L"kernel32.dll", "GetVersionExW");
    Machine* machine = Machine::Current();
    if (!machine || (machine->majorVersion == 0 && machine->layerMajorVersion == 0))
        return real(info);
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) && info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // Whatever Wine says about the rest (build, service pack, product type) stays.
    if (!real(info))
        return FALSE;
    const bool layered = machine->layerMajorVersion != 0;
    info->dwMajorVersion = layered ? machine->layerMajorVersion : machine->majorVersion;
    info->dwMinorVersion = layered ? machine->layerMinorVersion : machine->minorVersion;
    return TRUE;
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(GetVersionExW, 4, testbed::TestbedGetVersionExW)
