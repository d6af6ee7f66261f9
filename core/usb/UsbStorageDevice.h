#pragma once
//
//  A USB device as the enumeration found it: what it says about itself and the device nodes
//  below it, with the drive letters of its volumes.
//
#include "core/model/UsbDeviceIdentity.h"
#include "core/usb/UsbDeviceTree.h"

class UsbStorageDevice : public Quelmar::UsbDeviceIdentity {
public:
    UsbStorageDevice() = default;
    UsbStorageDevice(const UsbStorageDevice&) = default;
    UsbStorageDevice& operator=(const UsbStorageDevice&) = default;
    ~UsbStorageDevice() override = default;

    friend bool operator==(const UsbStorageDevice& a, const UsbStorageDevice& b)
    {
        return a.vendorId == b.vendorId && a.productId == b.productId && a.manufacturer == b.manufacturer &&
               a.product == b.product && a.serialNumber == b.serialNumber && a.tree == b.tree;
    }
    friend bool operator!=(const UsbStorageDevice& a, const UsbStorageDevice& b) { return !(a == b); }

    UsbDeviceTree tree;
};
