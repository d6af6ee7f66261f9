#pragma once
//
//  Builds the list of the machine's volumes with the names, letters, interfaces and device
//  nodes the caller asks for. Keeps nothing between builds: the caller owns the records.
//
#include "core/volume/VolumeRecord.h"

#include <vector>

enum : DWORD {
    VOLUME_MAP_DEVICE_NAMES = 0x01,
    VOLUME_MAP_DRIVE_LETTERS = 0x02,
    VOLUME_MAP_INTERFACE_PATHS = 0x04,
    VOLUME_MAP_DEVICE_IDS = 0x08,
    VOLUME_MAP_CHILD_DEVICE_NAMES = 0x10,
    VOLUME_MAP_DEVNODES = 0x20,
};

class VolumeMap {
public:
    VolumeMap(std::vector<VolumeRecord>& records, DWORD flags) : records_(&records), flags_(flags) {}
    virtual ~VolumeMap() = default;

    // Empties the records and fills them anew. Failures only leave fields empty; the result
    // is TRUE when the volume manager listed any volume.
    BOOL Build();

private:
    void WalkVolumes();
    void ResolveDeviceNames();
    void ResolveDriveLetters();
    void WalkVolumeInterfaces();
    void CollectChildNames(DWORD node, VolumeRecord& record);
    VolumeRecord* FindRecord(const WCHAR* volumeName);

    std::vector<VolumeRecord>* records_;
    DWORD flags_;
};

// The NT device name of a volume GUID path ("\\?\Volume{GUID}\"). Returns 0 on success, else
// the system error code, leaving deviceName untouched.
DWORD GetVolumeDeviceName(const CString& volumeName, CString& deviceName);
