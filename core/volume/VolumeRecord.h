#pragma once
//
//  One volume as the volume map found it. The fields beyond the volume name are filled only
//  by the passes the map was asked for; the others keep their empty values.
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

#include <vector>

class VolumeRecord {
public:
    VolumeRecord() = default;
    VolumeRecord(const VolumeRecord&) = default;
    VolumeRecord& operator=(const VolumeRecord&) = default;
    virtual ~VolumeRecord() = default;

    friend bool operator==(const VolumeRecord& a, const VolumeRecord& b)
    {
        return a.volumeName == b.volumeName && a.deviceName == b.deviceName && a.driveLetter == b.driveLetter &&
               a.interfacePath == b.interfacePath && a.deviceInstanceId == b.deviceInstanceId &&
               a.childDeviceObjectNames == b.childDeviceObjectNames && a.devNode == b.devNode;
    }
    friend bool operator!=(const VolumeRecord& a, const VolumeRecord& b) { return !(a == b); }

    CString volumeName;        // "\\?\Volume{GUID}\", the key of the record
    CString deviceName;        // NT device name, "\Device\HarddiskVolumeN"
    LONG driveLetter = 0;      // 'A' to 'Z', 0 for none
    CString interfacePath;     // volume interface path with one backslash appended
    CString deviceInstanceId;  // instance id of the node that carries the volume interface
    std::vector<CString> childDeviceObjectNames;  // device objects below that node, pre-order
    DWORD devNode = 0;         // that node, 0 when not resolved
};
