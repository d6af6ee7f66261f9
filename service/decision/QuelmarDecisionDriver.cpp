//
//  The enforcement thread's calls that reach the system: the bus scan of the drives and the
//  hand-over of the table to the driver.
//
#include "service/decision/QuelmarDecision.h"

#include "classlib/ScopedHandle.h"
#include "service/driver/DriverControl.h"
#include "service/remount/DriveRemount.h"
#include "service/volumes/StorageQuery.h"
#include "service/volumes/VolumeOnDevice.h"
#include "service/volumes/VolumeRecordList.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <utility>

namespace Quelmar {

namespace {

enum class DriveBus { Usb, Sd, Other, Unknown };

DriveBus QueryDriveBus(LONG driveLetter)
{
    ScopedHandle drive(CreateFileW(DriveDevicePath(driveLetter), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!drive.IsValid()) {
        return DriveBus::Unknown;
    }
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    union {
        STORAGE_DEVICE_DESCRIPTOR descriptor;
        BYTE bytes[4096];
    } reply = {};
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(drive.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), &reply, sizeof(reply),
                              &returned, nullptr);
    drive.Reset();
    // A reply too short to carry the bus type says nothing about the bus.
    if (!ok || returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(reply.descriptor.BusType)) {
        return DriveBus::Unknown;
    }
    switch (reply.descriptor.BusType) {
    case BusTypeUsb:
        return DriveBus::Usb;
    case BusTypeSd:
        return DriveBus::Sd;
    default:
        return DriveBus::Other;
    }
}

bool IsRemovableDrive(LONG driveLetter)
{
    WCHAR root[] = {static_cast<WCHAR>(driveLetter), L':', L'\\', 0};
    return GetDriveTypeW(root) == DRIVE_REMOVABLE;
}

}  // namespace

void QuelmarDecision::ScanDrives()
{
    cardReaderVolumes_.clear();
    try {
        for (const VolumeRecord& record : volumes_) {
            if (record.deviceName.IsEmpty() || record.driveLetter == 0 ||
                IsSystemVolume(systemVolumes_, record.deviceName) || VolumeOnAnyDevice(record, usbDevices_)) {
                continue;
            }
            DriveBus bus = QueryDriveBus(record.driveLetter);
            if (bus == DriveBus::Usb) {
                continue;
            }
            if (bus == DriveBus::Sd || IsRemovableDrive(record.driveLetter)) {
                cardReaderVolumes_.insert(record.deviceName);
            }
        }
    } catch (...) {
        // Whatever fails, the set stays as far as the scan got; the next pass scans again.
    }
}

BOOL QuelmarDecision::SendPolicy(const VolumePolicyMap& map)
{
    if (map == sentMap_) {
        return FALSE;
    }
    // Only a table the driver took counts as sent: after a refusal the driver may hold no
    // table at all, and the next pass must send again even when nothing changed.
    if (!DriverControl::GetInstance()->SetPolicy(nonWhitelistPolicy_, map)) {
        return FALSE;
    }
    VolumePolicyMap previous = std::move(sentMap_);
    sentMap_ = map;
    RemountChangedDrives(sentMap_, previous);
    return TRUE;
}

void QuelmarDecision::TakeOverSentTable(QuelmarDecision& ended)
{
    sentMap_ = std::move(ended.sentMap_);
    volumes_ = std::move(ended.volumes_);
}

void QuelmarDecision::RemountChangedDrives(const VolumePolicyMap& sent, const VolumePolicyMap& previous)
{
    Quelmar::RemountChangedDrives(sent, previous, volumes_);
}

}  // namespace Quelmar
