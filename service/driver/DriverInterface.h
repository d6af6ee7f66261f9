#pragma once
//
//  What user mode knows of the filter driver's control device: its path, its control codes
//  and the interface version it must answer.
//
#include "classlib/WinTypes.h"

namespace Quelmar {

enum : DWORD {
    IOCTL_FILTER_GET_VERSION = 0x226000,
    IOCTL_FILTER_SET_VOLUME_RULES = 0x226004,
    IOCTL_FILTER_ADD_EXEMPT_PROCESS = 0x226008,
    IOCTL_FILTER_REMOVE_EXEMPT_PROCESS = 0x22600C,
};

// Four 16-bit values 1, 0, 1, 1, little-endian.
const BYTE FILTER_INTERFACE_VERSION[8] = {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00};

// Time limits for opening the control device: the start-up check waits for a driver that is
// still loading; the enforcement thread only for a handle that is being closed.
enum : DWORD {
    DriverOpenLimitVersionCheck = 60000,
    DriverOpenLimitEnforcement = 1000,
};

}  // namespace Quelmar
