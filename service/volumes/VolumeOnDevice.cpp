#include "service/volumes/VolumeOnDevice.h"

#include <utility>

namespace Quelmar {

DeviceVolumeMatcher::DeviceVolumeMatcher(const UsbStorageDevice& device)
{
    for (UsbDeviceTree::Iterator node = device.tree.Begin(); node != device.tree.End(); ++node) {
        // A node whose id could not be read must not claim every volume of the machine.
        if (node->info.instanceId.IsEmpty()) {
            continue;
        }
        NodeId id{node->info.instanceId, node->info.instanceId};
        id.pattern.Replace(_T('\\'), _T('#'));
        id.pattern.MakeLower();
        nodes_.push_back(std::move(id));
    }
}

bool DeviceVolumeMatcher::Holds(const VolumeRecord& record, const CString& recordIdLower) const
{
    if (record.deviceInstanceId.IsEmpty()) {
        return false;
    }
    for (const NodeId& node : nodes_) {
        if (node.id.CompareNoCase(record.deviceInstanceId) == 0 || recordIdLower.Find(node.pattern.GetString()) >= 0) {
            return true;
        }
    }
    return false;
}

bool VolumeOnDevice(const UsbStorageDevice& device, const VolumeRecord& record)
{
    CString recordIdLower = record.deviceInstanceId;
    recordIdLower.MakeLower();
    return DeviceVolumeMatcher(device).Holds(record, recordIdLower);
}

bool VolumeOnAnyDevice(const VolumeRecord& record, const std::vector<UsbStorageDevice>& devices)
{
    for (const UsbStorageDevice& device : devices) {
        if (VolumeOnDevice(device, record)) {
            return true;
        }
    }
    return false;
}

void FilterDevicesWithVolumes(const std::vector<VolumeRecord>& records, const std::vector<UsbStorageDevice>& devices,
                              std::vector<UsbStorageDevice>& result)
{
    result.clear();
    for (const UsbStorageDevice& device : devices) {
        for (const VolumeRecord& record : records) {
            if (VolumeOnDevice(device, record)) {
                result.push_back(device);
                break;
            }
        }
    }
}

}  // namespace Quelmar
