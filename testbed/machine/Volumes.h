#pragma once
//
//  Volumes of the simulated PC: volume GUID paths, NT device names, drive letters, drive types
//  and the volume device node that carries the volume interface.
//
#include "testbed/machine/StorageProperties.h"

#include <windows.h>

#include <string>
#include <vector>

namespace testbed {

class DeviceNode;

struct Volume {
    std::wstring guidPath;        // "\\?\Volume{...}\" with the trailing backslash
    std::wstring deviceName;      // "\Device\HarddiskVolumeN"
    std::vector<wchar_t> letters; // drive letters mounted on it, upper case
    std::vector<std::wstring> mountFolders;  // folder mount points such as C:\mnt\stick\ (trailing backslash)
    UINT driveType = DRIVE_FIXED;
    DeviceNode* node = nullptr;   // the volume's device node (carries the interface)
    DeviceNode* disk = nullptr;   // the disk it lies on; null for a volume of no known disk
    std::wstring interfacePath;   // empty: no volume interface
    std::vector<std::wstring> moreInterfacePaths;  // further interfaces of the same volume
    bool mediaPresent = true;
    bool present = true;
    StorageProperties storage;    // device number, bus type, failing storage queries
    unsigned freeSpaceProbes = 0; // GetDiskFreeSpaceW calls that reached this volume
    // The error modes in force at the last probe: the calling thread's and the process's.
    UINT probeThreadErrorMode = 0;
    UINT probeProcessErrorMode = 0;

    // "Volume{...}": the DOS device name under which QueryDosDeviceW knows the volume.
    std::wstring DosName() const;
};

}  // namespace testbed
