#pragma once
//
//  What the enumeration learned about one device node below a USB device. Each field is
//  filled only when the enumerator's info mask asks for it.
//
#include "classlib/CString.h"
#include "classlib/WinTypes.h"

class UsbDeviceNodeInfo {
public:
    UsbDeviceNodeInfo() = default;
    UsbDeviceNodeInfo(const UsbDeviceNodeInfo&) = default;
    UsbDeviceNodeInfo& operator=(const UsbDeviceNodeInfo&) = default;
    virtual ~UsbDeviceNodeInfo() = default;

    friend bool operator==(const UsbDeviceNodeInfo& a, const UsbDeviceNodeInfo& b)
    {
        return a.instanceId == b.instanceId && a.deviceObjectName == b.deviceObjectName &&
               a.friendlyName == b.friendlyName && a.description == b.description && a.driveLetter == b.driveLetter;
    }
    friend bool operator!=(const UsbDeviceNodeInfo& a, const UsbDeviceNodeInfo& b) { return !(a == b); }

    CString instanceId;
    CString deviceObjectName;   // CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME
    CString friendlyName;       // CM_DRP_FRIENDLYNAME
    CString description;        // CM_DRP_DEVICEDESC
    LONG driveLetter = 0;       // 'A' to 'Z', 0 for none
};
