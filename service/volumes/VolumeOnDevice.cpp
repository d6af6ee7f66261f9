#include "service/volumes/VolumeOnDevice.h"

namespace Quelmar {

namespace {

// The record's instance id, lower-cased once for every node it is compared with.
bool NodeCarriesVolume(const CString& nodeId, const CString& recordId, const CString& recordIdLower)
{
    if (nodeId.IsEmpty() || recordId.IsEmpty()) {
        return false;
    }
    if (nodeId.CompareNoCase(recordId) == 0) {
        return true;
    }
    CString pattern = nodeId;
    pattern.Replace(_T('\\'), _T('#'));
    pattern.MakeLower();
    return recordIdLower.Find(pattern.GetString()) >= 0;
}

}  // namespace

bool VolumeOnDevice(const UsbStorageDevice& device, const VolumeRecord& record)
{
    if (record.deviceInstanceId.IsEmpty()) {
        return false;
    }
    CString recordIdLower = record.deviceInstanceId;
    recordIdLower.MakeLower();
    for (UsbDeviceTree::Iterator node = device.tree.Begin(); node != device.tree.End(); ++node) {
        if (NodeCarriesVolume(node->info.instanceId, record.deviceInstanceId, recordIdLower)) {
            return true;
        }
    }
    return false;
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
