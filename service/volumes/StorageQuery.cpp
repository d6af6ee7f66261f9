#include "service/volumes/StorageQuery.h"

#include "classlib/ScopedHandle.h"
#include "core/system/ProgramPaths.h"
#include "core/volume/VolumeMap.h"
#include "service/volumes/VolumeRecordList.h"

#include <cwctype>

namespace Quelmar {

namespace {

// Keeps the system from asking the user to insert a disk while a drive is probed.
class CriticalErrorsOff {
public:
    CriticalErrorsOff() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
    ~CriticalErrorsOff() { SetErrorMode(previous_); }
    CriticalErrorsOff(const CriticalErrorsOff&) = delete;
    CriticalErrorsOff& operator=(const CriticalErrorsOff&) = delete;

private:
    UINT previous_;
};

// The Windows folder, read with the size the system says it needs; empty when it cannot be
// read.
CString GetWindowsFolder()
{
    const UINT needed = GetWindowsDirectoryW(nullptr, 0);
    if (needed == 0) {
        return CString();
    }
    CString folder;
    const UINT length = GetWindowsDirectoryW(folder.GetBuffer(static_cast<int>(needed)), needed);
    folder.ReleaseBuffer(length < needed ? static_cast<int>(length) : 0);
    return folder;
}

bool SameLetter(LONG driveLetter, WCHAR ch)
{
    return driveLetter != 0 && towupper(static_cast<wint_t>(driveLetter)) == towupper(ch);
}

void AddRecordsOfLetter(const std::vector<VolumeRecord>& records, WCHAR letter, std::vector<VolumeRecord>& list)
{
    for (const VolumeRecord& record : records) {
        if (SameLetter(record.driveLetter, letter)) {
            AddVolumeRecordOnce(list, record);
        }
    }
}

// Through the drive letter, else the volume name without its trailing backslash, else the
// device name in its "\\.\" form.
bool QueryRecordDeviceNumber(const VolumeRecord& record, STORAGE_DEVICE_NUMBER& number)
{
    if (record.driveLetter != 0 && QueryStorageDeviceNumber(DriveDevicePath(record.driveLetter), number)) {
        return true;
    }
    CString volumePath = record.volumeName;
    if (!volumePath.IsEmpty() && volumePath[volumePath.GetLength() - 1] == L'\\') {
        volumePath = volumePath.Left(volumePath.GetLength() - 1);
    }
    if (!volumePath.IsEmpty() && QueryStorageDeviceNumber(volumePath, number)) {
        return true;
    }
    const WCHAR devicePrefix[] = L"\\Device\\";
    const int prefixLength = static_cast<int>(wcslen(devicePrefix));
    if (record.deviceName.GetLength() > prefixLength &&
        record.deviceName.Left(prefixLength).CompareNoCase(devicePrefix) == 0) {
        CString devicePath = CString(L"\\\\.\\") + record.deviceName.Mid(prefixLength);
        return QueryStorageDeviceNumber(devicePath, number);
    }
    return false;
}

}  // namespace

CString DriveDevicePath(LONG driveLetter)
{
    CString path(L"\\\\.\\");
    path += static_cast<WCHAR>(towupper(static_cast<wint_t>(driveLetter)));
    path += L':';
    return path;
}

bool QueryStorageDeviceNumber(const WCHAR* path, STORAGE_DEVICE_NUMBER& number)
{
    ZeroMemory(&number, sizeof(number));
    CriticalErrorsOff errorMode;
    ScopedHandle device(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!device.IsValid()) {
        return false;
    }
    STORAGE_DEVICE_NUMBER reply = {};
    DWORD returned = 0;
    if (!DeviceIoControl(device.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &reply, sizeof(reply), &returned,
                         nullptr) ||
        returned < sizeof(reply)) {
        return false;
    }
    number = reply;
    return true;
}

void BuildSystemVolumeList(std::vector<VolumeRecord>& list)
{
    list.clear();
    std::vector<VolumeRecord> records;
    VolumeMap(records, VOLUME_MAP_DEVICE_NAMES | VOLUME_MAP_DRIVE_LETTERS | VOLUME_MAP_INTERFACE_PATHS |
                           VOLUME_MAP_DEVICE_IDS | VOLUME_MAP_CHILD_DEVICE_NAMES | VOLUME_MAP_DEVNODES)
        .Build();

    const CString windowsFolder = GetWindowsFolder();
    if (!windowsFolder.IsEmpty()) {
        AddRecordsOfLetter(records, windowsFolder[0], list);

        STORAGE_DEVICE_NUMBER windowsDisk;
        if (QueryStorageDeviceNumber(DriveDevicePath(windowsFolder[0]), windowsDisk)) {
            // The partition number is not compared: every volume of the Windows disk passes.
            for (const VolumeRecord& record : records) {
                STORAGE_DEVICE_NUMBER number;
                if (QueryRecordDeviceNumber(record, number) && number.DeviceType == windowsDisk.DeviceType &&
                    number.DeviceNumber == windowsDisk.DeviceNumber) {
                    AddVolumeRecordOnce(list, record);
                }
            }
        }
    }

    const CString programFile = GetModuleFilePath();
    if (!programFile.IsEmpty()) {
        AddRecordsOfLetter(records, programFile[0], list);
    }
}

}  // namespace Quelmar
