//
//  Where Windows is installed and which program runs, as the simulated PC tells it (the
//  Windows folder decides which disk is the system disk), and the tick count it keeps.
//
#include "testbed/machine/Machine.h"
#include "testbed/machine/interpose.h"

#include <cstring>

namespace testbed {
namespace {

UINT WINAPI TestbedGetWindowsDirectoryW(LPWSTR buffer, UINT size)
{
    Machine* machine = Machine::Current();
    if (!machine || machine->windowsFolder.empty()) {
        static auto real = RealFunction<decltype(&::GetWindowsDirectoryW)>(L"kernel32.dll", "GetWindowsDirectoryW");
        return real(buffer, size);
    }
    const std::wstring& folder = machine->windowsFolder;
    // Too small: the size it needs, terminator included.
    if (!buffer || size < folder.size() + 1)
        return UINT(folder.size() + 1);
    std::memcpy(buffer, folder.c_str(), (folder.size() + 1) * sizeof(WCHAR));
    return UINT(folder.size());
}

DWORD WINAPI TestbedGetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    Machine* machine = Machine::Current();
    if (module || !machine || machine->programFile.empty()) {
        static auto real = RealFunction<decltype(&::GetModuleFileNameW)>(L"kernel32.dll", "GetModuleFileNameW");
        return real(module, buffer, size);
    }
    const std::wstring& file = machine->programFile;
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Too small: truncated and terminated, the buffer's size returned.
    if (size < file.size() + 1) {
        std::memcpy(buffer, file.c_str(), (size - 1) * sizeof(WCHAR));
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, file.c_str(), (file.size() + 1) * sizeof(WCHAR));
    return DWORD(file.size());
}

DWORD WINAPI TestbedGetTickCount()
{
    static auto real = RealFunction<decltype(&::GetTickCount)>(L"kernel32.dll", "GetTickCount");
    Machine* machine = Machine::Current();
    if (!machine)
        return real();
    const DWORD now = real();
    const DWORD scaled = machine->tickCountBase + (now - machine->tickCountBase) * machine->tickCountScale;
    return scaled + machine->tickCountOffset;
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(GetWindowsDirectoryW, 8, testbed::TestbedGetWindowsDirectoryW)
TESTBED_INTERPOSE(GetModuleFileNameW, 12, testbed::TestbedGetModuleFileNameW)
TESTBED_INTERPOSE(GetTickCount, 0, testbed::TestbedGetTickCount)
