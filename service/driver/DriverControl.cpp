#include "service/driver/DriverControl.h"

#include "service/driver/DriverInterface.h"
#include "service/driver/VolumeRulesBuffer.h"

#include <vector>

namespace Quelmar {

DriverControl* DriverControl::instance_ = nullptr;

DriverControl* DriverControl::GetInstance()
{
    if (instance_ == nullptr) {
        instance_ = new DriverControl();
    }
    return instance_;
}

void DriverControl::DeleteInstance()
{
    delete instance_;
    instance_ = nullptr;
}

DriverControl::DriverControl() : devicePath_(L"\\\\.\\QEVRINd") {}

DriverControl::~DriverControl()
{
    Close();
}

void DriverControl::Close()
{
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

BOOL DriverControl::Open(DWORD limitMilliseconds)
{
    if (handle_ != INVALID_HANDLE_VALUE) {
        return TRUE;
    }
    // Elapsed time as an unsigned difference stays right when the tick count wraps.
    const DWORD start = GetTickCount();
    for (;;) {
        handle_ = CreateFileW(devicePath_, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ != INVALID_HANDLE_VALUE) {
            return TRUE;
        }
        if (GetTickCount() - start >= limitMilliseconds) {
            return FALSE;
        }
        Sleep(10);
    }
}

BOOL DriverControl::SetPolicy(LONG mode, const VolumePolicyMap& map)
{
    std::vector<BYTE> buffer = BuildVolumeRulesBuffer(mode, map);
    DWORD returned = 0;
    return DeviceIoControl(handle_, IOCTL_FILTER_SET_VOLUME_RULES, buffer.data(), static_cast<DWORD>(buffer.size()),
                           nullptr, 0, &returned, nullptr);
}

BOOL DriverControl::AddExemptProcess(DWORD processId)
{
    DWORD returned = 0;
    return DeviceIoControl(handle_, IOCTL_FILTER_ADD_EXEMPT_PROCESS, &processId, sizeof(processId), nullptr, 0,
                           &returned, nullptr);
}

BOOL DriverControl::RemoveExemptProcess(DWORD processId)
{
    DWORD returned = 0;
    return DeviceIoControl(handle_, IOCTL_FILTER_REMOVE_EXEMPT_PROCESS, &processId, sizeof(processId), nullptr, 0,
                           &returned, nullptr);
}

BOOL DriverControl::QueryVersion(BYTE (&version)[8])
{
    DWORD returned = 0;
    return DeviceIoControl(handle_, IOCTL_FILTER_GET_VERSION, nullptr, 0, version, sizeof(version), &returned,
                           nullptr);
}

}  // namespace Quelmar
