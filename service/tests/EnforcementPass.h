// One pass as the enforcement thread runs it: exempt itself, enumerate the volumes, keep the
// sticks that hold one, scan for card readers, end the exemption, decide and send.
#pragma once

#include "core/usb/UsbDeviceEnumerator.h"
#include "core/volume/VolumeMap.h"
#include "service/decision/QuelmarDecision.h"
#include "service/driver/DriverControl.h"
#include "service/volumes/VolumeOnDevice.h"

#include <vector>

namespace servicetest {

inline BOOL RunPass(Quelmar::QuelmarDecision& thread)
{
    Quelmar::DriverControl* driver = Quelmar::DriverControl::GetInstance();
    driver->AddExemptProcess(GetCurrentProcessId());
    VolumeMap(thread.VolumeList(), VOLUME_MAP_DEVICE_NAMES | VOLUME_MAP_DRIVE_LETTERS | VOLUME_MAP_DEVICE_IDS |
                                       VOLUME_MAP_CHILD_DEVICE_NAMES | VOLUME_MAP_DEVNODES)
        .Build();
    std::vector<UsbStorageDevice> found;
    UsbDeviceEnumerator enumerator(found);
    enumerator.SetInfoMask(thread.EnumerationMask());
    enumerator.Walk();
    Quelmar::FilterDevicesWithVolumes(thread.VolumeList(), found, thread.UsbDeviceList());
    thread.ScanDrives();
    driver->RemoveExemptProcess(GetCurrentProcessId());
    Quelmar::VolumePolicyMap map;
    thread.ComputeVolumePolicy(map);
    return thread.SendPolicy(map);
}

}  // namespace servicetest
