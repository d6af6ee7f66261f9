//
//  The Windows version the simulated PC runs, for code that decides by it, and the library
//  files it supplies itself: LoadLibraryExW of such a file's full path and FreeLibrary of its
//  handle answer from the machine (GetProcAddress on the handle: interpose_sessions.cpp); every
//  other module goes to Wine.
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

// The handle of a machine's library file is the address of its record.
HMODULE WINAPI TestbedLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags)
{
    Machine* machine = Machine::Current();
    if (LibraryFile* library = machine && name ? machine->FindLibraryFile(name) : nullptr) {
        if (!library->present) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        ++library->loads;
        return reinterpret_cast<HMODULE>(library);
    }
    static auto real = RealFunction<decltype(&::LoadLibraryExW)>(L"kernel32.dll", "LoadLibraryExW");
    return real(name, file, flags);
}

BOOL WINAPI TestbedFreeLibrary(HMODULE module)
{
    Machine* machine = Machine::Current();
    if (LibraryFile* library = machine ? machine->FindLibraryFile(module) : nullptr) {
        if (library->loads <= 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        // The module leaves memory with its last load: an object of its code that still lives
        // would run nothing the next time it is called.
        if (--library->loads == 0 && library->liveObjects > 0)
            ++library->unloadsUnderObjects;
        return TRUE;
    }
    static auto real = RealFunction<decltype(&::FreeLibrary)>(L"kernel32.dll", "FreeLibrary");
    return real(module);
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(GetVersionExW, 4, testbed::TestbedGetVersionExW)
TESTBED_INTERPOSE(LoadLibraryExW, 12, testbed::TestbedLoadLibraryExW)
TESTBED_INTERPOSE(FreeLibrary, 4, testbed::TestbedFreeLibrary)
