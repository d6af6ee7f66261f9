#pragma once
//
//  Which volumes lie on which USB storage device: a volume's instance id carries the instance
//  id of its disk with backslashes turned into '#', so the disk node below a stick matches
//  every volume of that stick.
//
#include "core/usb/UsbStorageDevice.h"
#include "core/volume/VolumeRecord.h"

#include <vector>

namespace Quelmar {

// True when some node of the device's tree is the record's node or the disk that carries it.
// An empty instance id on either side never matches: a node whose id could not be read must
// not claim every volume of the machine.
bool VolumeOnDevice(const UsbStorageDevice& device, const VolumeRecord& record);

// The device's node ids in the form a volume's instance id carries them, prepared once for
// many records: '#' for every backslash, lower case.
class DeviceVolumeMatcher {
public:
    explicit DeviceVolumeMatcher(const UsbStorageDevice& device);
    // recordIdLower is the record's instance id lower-cased.
    bool Holds(const VolumeRecord& record, const CString& recordIdLower) const;

private:
    struct NodeId {
        CString id;
        CString pattern;
    };
    std::vector<NodeId> nodes_;
};

bool VolumeOnAnyDevice(const VolumeRecord& record, const std::vector<UsbStorageDevice>& devices);

// The devices, in list order, on which at least one of the records' volumes lies.
void FilterDevicesWithVolumes(const std::vector<VolumeRecord>& records, const std::vector<UsbStorageDevice>& devices,
                              std::vector<UsbStorageDevice>& result);

}  // namespace Quelmar
