#include "service/volumes/VolumeRecordList.h"

namespace Quelmar {

bool VolumeRecordEquals(const VolumeRecord& a, const VolumeRecord& b)
{
    return a.volumeName == b.volumeName && a.deviceName == b.deviceName && a.driveLetter == b.driveLetter &&
           a.interfacePath == b.interfacePath && a.deviceInstanceId == b.deviceInstanceId &&
           a.devNode == b.devNode && a.childDeviceObjectNames == b.childDeviceObjectNames;
}

void AddVolumeRecordOnce(std::vector<VolumeRecord>& list, const VolumeRecord& record)
{
    for (const VolumeRecord& existing : list) {
        if (VolumeRecordEquals(existing, record)) {
            return;
        }
    }
    list.push_back(record);
}

bool IsSystemVolume(const std::vector<VolumeRecord>& systemVolumes, const CString& deviceName)
{
    if (deviceName.IsEmpty()) {
        return false;
    }
    for (const VolumeRecord& record : systemVolumes) {
        if (record.deviceName.CompareNoCase(deviceName) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace Quelmar
