#pragma once
//
//  Changes the state of one device node through the system's class installer: the drive
//  remount restarts the node of a volume whose access state changed.
//
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

namespace Quelmar {

class DeviceInstaller {
public:
    // DIF_PROPERTYCHANGE with the state change and scope on the device of the node; TRUE when
    // the class installer call succeeded. rebootNeeded is set when the system asks for a
    // restart.
    static BOOL ChangeState(DEVINST devNode, DWORD scope, DWORD stateChange, BOOL& rebootNeeded);

    // The node's device in a fresh set of all present devices: the set (the caller destroys
    // it) and the device, TRUE on a match. Matches by instance id without regard to case, or
    // by node when the id cannot be read.
    static BOOL FindDevice(DEVINST devNode, HDEVINFO& set, SP_DEVINFO_DATA& deviceInfo);
};

// DIF_PROPERTYCHANGE on one device of a set: the state change and scope for every hardware
// profile; rebootNeeded set when the device asks for a restart. Shared with the portable
// device list.
BOOL CallPropertyChange(HDEVINFO set, SP_DEVINFO_DATA& deviceInfo, DWORD stateChange, DWORD scope, BOOL& rebootNeeded);

}  // namespace Quelmar
