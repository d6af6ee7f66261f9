#include "service/remount/DriveRemount.h"

#include "core/system/OSVersion.h"
#include "service/devices/DeviceInstaller.h"
#include "service/session/SessionLauncher.h"

#include <windows.h>
#include <setupapi.h>

#include <new>

namespace Quelmar {

namespace {

const VolumeRecord* FindDriveRecord(const std::vector<VolumeRecord>& drives, const CString& deviceName)
{
    for (const VolumeRecord& record : drives) {
        if (record.deviceName.CompareNoCase(deviceName.GetString()) == 0) {
            return &record;
        }
    }
    return nullptr;
}

// A volume new to the table counts as changed only when it is not simply allowed, which it
// was before the driver knew it.
bool StateChanged(const VolumePolicyMap& oldMap, const CString& name, LONG newState)
{
    auto old = oldMap.find(name);
    if (old == oldMap.end()) {
        return newState != VolumeAllowed;
    }
    return old->second != newState;
}

}  // namespace

void RemountChangedDrives(const VolumePolicyMap& newMap, const VolumePolicyMap& oldMap,
                          const std::vector<VolumeRecord>& drives)
{
    COSVersion version;
    try {
        if (version.Is6_2OrLater()) {
            RestartChangedDevices(newMap, oldMap, drives);
            StartTessarin(newMap, oldMap, drives);
        } else if (version.Is6_1()) {
            RestartChangedDevices(newMap, oldMap, drives);
        } else if (version.Is6_0()) {
            StartTessarin(newMap, oldMap, drives);
        }
    } catch (const std::bad_alloc&) {
        // The table is in force at the driver either way; Explorer catches up at the next change.
    }
}

void RestartChangedDevices(const VolumePolicyMap& newMap, const VolumePolicyMap& oldMap,
                           const std::vector<VolumeRecord>& drives)
{
    if (drives.empty()) {
        return;
    }
    for (const auto& [name, newState] : newMap) {
        if (!StateChanged(oldMap, name, newState) || newState == VolumeBlocked) {
            continue;
        }
        const VolumeRecord* record = FindDriveRecord(drives, name);
        if (record == nullptr) {
            continue;
        }
        BOOL rebootNeeded = FALSE;
        DeviceInstaller::ChangeState(record->devNode, DICS_FLAG_GLOBAL, DICS_PROPCHANGE, rebootNeeded);
    }
}

BOOL BuildRemountArgument(const VolumePolicyMap& newMap, const VolumePolicyMap& oldMap,
                          const std::vector<VolumeRecord>& drives, RemountArgument& argument)
{
    argument = RemountArgument();
    if (drives.empty()) {
        return FALSE;
    }
    for (const auto& [name, newState] : newMap) {
        auto old = oldMap.find(name);
        if (old == oldMap.end() || old->second == newState) {
            continue;
        }
        const VolumeRecord* record = FindDriveRecord(drives, name);
        if (record != nullptr && record->driveLetter != 0) {
            argument += static_cast<WCHAR>(record->driveLetter);
        }
    }
    return argument.GetLength() > 0 ? TRUE : FALSE;
}

void StartTessarin(const VolumePolicyMap& newMap, const VolumePolicyMap& oldMap,
                   const std::vector<VolumeRecord>& drives)
{
    RemountArgument argument;
    if (!BuildRemountArgument(newMap, oldMap, drives, argument)) {
        return;
    }
    LaunchInActiveConsoleSession(ProgramInFolder(GetServiceModuleFolder(), L"QEVRINrmt.exe"), argument);
}

void RemountAfterStop(const VolumePolicyMap& currentMap, const std::vector<VolumeRecord>& drives)
{
    try {
        VolumePolicyMap released = currentMap;
        for (auto& entry : released) {
            entry.second = VolumeAllowed;
        }
        RemountChangedDrives(released, currentMap, drives);
    } catch (const std::bad_alloc&) {
        // Without the copy there is nothing to compare; the driver is released regardless.
    }
}

}  // namespace Quelmar
