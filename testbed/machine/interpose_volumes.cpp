//
//  Volume management and library loading: the volume search, DOS device names, mount points,
//  drive types and free-space probes answered from the machine's volumes, and LoadLibraryW
//  refusing the libraries a test removed. Names the machine does not own go to the system.
//
#include "testbed/machine/OpenObjects.h"
#include "testbed/machine/interpose.h"

#include <cstring>
#include <cwctype>

namespace testbed {
namespace {

const wchar_t kKernel32[] = L"kernel32.dll";

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

bool CopyName(const std::wstring& name, LPWSTR buffer, DWORD length)
{
    if (!buffer || length < name.size() + 1)
        return false;
    std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    return true;
}

// "X:\" or "X:" (any case): the letter, else 0.
wchar_t DriveRoot(LPCWSTR path)
{
    if (!path || !std::iswalpha(path[0]) || path[1] != L':' || (path[2] && (path[2] != L'\\' || path[3])))
        return 0;
    return static_cast<wchar_t>(std::towupper(path[0]));
}

HANDLE WINAPI TestbedFindFirstVolumeW(LPWSTR name, DWORD length)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::FindFirstVolumeW)>(kKernel32, "FindFirstVolumeW");
        return real(name, length);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    auto search = std::make_shared<VolumeSearch>();
    for (Volume* volume : machine->Volumes())
        search->names.push_back(volume->guidPath);
    if (search->names.empty()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    if (!CopyName(search->names[0], name, length)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    search->next = 1;
    return machine->OpenHandle(search);
}

BOOL WINAPI TestbedFindNextVolumeW(HANDLE handle, LPWSTR name, DWORD length)
{
    Machine* machine = Machine::Current();
    auto object = machine ? machine->FindHandle(handle) : nullptr;
    auto* search = dynamic_cast<VolumeSearch*>(object.get());
    if (!search) {
        static auto real = RealFunction<decltype(&::FindNextVolumeW)>(kKernel32, "FindNextVolumeW");
        return real(handle, name, length);
    }
    if (search->next >= search->names.size())
        return Fail(ERROR_NO_MORE_FILES);
    if (!CopyName(search->names[search->next], name, length))
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    ++search->next;
    return TRUE;
}

BOOL WINAPI TestbedFindVolumeClose(HANDLE handle)
{
    Machine* machine = Machine::Current();
    if (machine && dynamic_cast<VolumeSearch*>(machine->FindHandle(handle).get()))
        return machine->CloseMachineHandle(handle);
    static auto real = RealFunction<decltype(&::FindVolumeClose)>(kKernel32, "FindVolumeClose");
    return real(handle);
}

DWORD WINAPI TestbedQueryDosDeviceW(LPCWSTR name, LPWSTR target, DWORD length)
{
    Machine* machine = Machine::Current();
    if (machine) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        std::wstring list;
        if (!name) {
            for (Volume* volume : machine->Volumes()) {
                for (wchar_t letter : volume->letters)
                    list += std::wstring(1, letter) + L":" + L'\0';
                list += volume->DosName() + L'\0';
            }
        } else if (Volume* volume = machine->FindVolumeByDosName(name)) {
            list = volume->deviceName + L'\0';
        } else if (DriveRoot(name) || std::wstring(name).compare(0, 7, L"Volume{") == 0) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        if (!list.empty() || !name) {
            list += L'\0';
            if (!target || length < list.size()) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(target, list.data(), list.size() * sizeof(WCHAR));
            return DWORD(list.size());
        }
    }
    static auto real = RealFunction<decltype(&::QueryDosDeviceW)>(kKernel32, "QueryDosDeviceW");
    return real(name, target, length);
}

BOOL WINAPI TestbedGetVolumeNameForVolumeMountPointW(LPCWSTR mountPoint, LPWSTR name, DWORD length)
{
    Machine* machine = Machine::Current();
    if (!machine) {
        static auto real = RealFunction<decltype(&::GetVolumeNameForVolumeMountPointW)>(kKernel32, "GetVolumeNameForVolumeMountPointW");
        return real(mountPoint, name, length);
    }
    std::lock_guard<std::recursive_mutex> hold(machine->Lock());
    Volume* volume = mountPoint ? machine->FindVolumeByMountPoint(mountPoint) : nullptr;
    if (!volume)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (!CopyName(volume->guidPath, name, length))
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    return TRUE;
}

UINT WINAPI TestbedGetDriveTypeW(LPCWSTR root)
{
    Machine* machine = Machine::Current();
    if (machine && DriveRoot(root)) {
        Volume* volume = machine->FindVolumeByLetter(DriveRoot(root));
        return volume ? volume->driveType : UINT(DRIVE_NO_ROOT_DIR);
    }
    static auto real = RealFunction<decltype(&::GetDriveTypeW)>(kKernel32, "GetDriveTypeW");
    return real(root);
}

}  // namespace

UINT ThreadErrorMode()
{
    // Windows 6.0 has no per-thread error mode; the test binaries load there too.
    typedef DWORD(WINAPI * GetThreadErrorModeFn)();
    static auto get = reinterpret_cast<GetThreadErrorModeFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadErrorMode")));
    return get ? get() : 0;
}

namespace {

BOOL WINAPI TestbedGetDiskFreeSpaceW(LPCWSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                     LPDWORD freeClusters, LPDWORD totalClusters)
{
    Machine* machine = Machine::Current();
    if (machine && DriveRoot(root)) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        Volume* volume = machine->FindVolumeByLetter(DriveRoot(root));
        if (!volume)
            return Fail(ERROR_PATH_NOT_FOUND);
        ++volume->freeSpaceProbes;
        volume->probeThreadErrorMode = ThreadErrorMode();
        volume->probeProcessErrorMode = GetErrorMode();
        // Touching a drive wakes the device it lies on, as a real access spins a stick up.
        if (UsbDevice* device = machine->FindUsbDeviceAbove(volume->disk))
            device->Wake();
        if (!volume->mediaPresent)
            return Fail(ERROR_NOT_READY);
        if (sectorsPerCluster)
            *sectorsPerCluster = 8;
        if (bytesPerSector)
            *bytesPerSector = 512;
        if (freeClusters)
            *freeClusters = 0x10000;
        if (totalClusters)
            *totalClusters = 0x40000;
        return TRUE;
    }
    static auto real = RealFunction<decltype(&::GetDiskFreeSpaceW)>(kKernel32, "GetDiskFreeSpaceW");
    return real(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

HMODULE WINAPI TestbedLoadLibraryW(LPCWSTR name)
{
    Machine* machine = Machine::Current();
    if (machine && name) {
        std::lock_guard<std::recursive_mutex> hold(machine->Lock());
        if (machine->LibraryRemoved(name)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    static auto real = RealFunction<decltype(&::LoadLibraryW)>(kKernel32, "LoadLibraryW");
    return real(name);
}

}  // namespace
}  // namespace testbed

TESTBED_INTERPOSE(FindFirstVolumeW, 8, testbed::TestbedFindFirstVolumeW)
TESTBED_INTERPOSE(FindNextVolumeW, 12, testbed::TestbedFindNextVolumeW)
TESTBED_INTERPOSE(FindVolumeClose, 4, testbed::TestbedFindVolumeClose)
TESTBED_INTERPOSE(QueryDosDeviceW, 12, testbed::TestbedQueryDosDeviceW)
TESTBED_INTERPOSE(GetVolumeNameForVolumeMountPointW, 12, testbed::TestbedGetVolumeNameForVolumeMountPointW)
TESTBED_INTERPOSE(GetDriveTypeW, 4, testbed::TestbedGetDriveTypeW)
TESTBED_INTERPOSE(GetDiskFreeSpaceW, 20, testbed::TestbedGetDiskFreeSpaceW)
TESTBED_INTERPOSE(LoadLibraryW, 4, testbed::TestbedLoadLibraryW)
