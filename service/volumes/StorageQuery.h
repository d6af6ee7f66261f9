#pragma once
//
//  Storage bus queries on the service's side: which disk a volume lies on, and the volumes
//  that belong to the Windows installation and therefore always pass.
//
#include "core/volume/VolumeRecord.h"

#include <windows.h>
#include <winioctl.h>

#include <vector>

namespace Quelmar {

// The storage device number (device type, device number, partition number) of the device
// that the path opens. The output is zeroed first; true on success.
bool QueryStorageDeviceNumber(const WCHAR* path, STORAGE_DEVICE_NUMBER& number);

// The "\\.\X:" path of a drive letter, upper-cased.
CString DriveDevicePath(LONG driveLetter);

// The volumes of the drive that holds the Windows folder and of every other volume on its
// disk, and the volumes of the drive that holds this program's file; no record twice.
void BuildSystemVolumeList(std::vector<VolumeRecord>& list);

}  // namespace Quelmar
