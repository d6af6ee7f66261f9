// Plain values for the decision: volumes, USB sticks and whitelist entries built in one line
// each, with instance ids in the forms the system gives them.
#pragma once

#include "core/model/WhitelistEntry.h"
#include "core/usb/UsbStorageDevice.h"
#include "core/volume/VolumeRecord.h"

#include <initializer_list>
#include <vector>

namespace servicetest {

using Quelmar::WhitelistEntry;

// The disk node's instance id of a stick, "USBSTOR\DISK&VEN_..\<serial>&0".
inline CString DiskId(const CString& serial)
{
    return CString(_T("USBSTOR\\DISK&VEN_QEVRIN&PROD_STICK&REV_1.00\\")) + serial + _T("&0");
}

// A volume's instance id carries its disk's id with '#' for every backslash.
inline CString VolumeIdOnDisk(const CString& diskId)
{
    CString id = diskId;
    id.Replace(_T('\\'), _T('#'));
    return CString(_T("STORAGE\\Volume\\_??_")) + id + _T("#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
}

inline VolumeRecord Volume(const CString& deviceName, LONG letter, const CString& instanceId,
                           std::initializer_list<const WCHAR*> children = {})
{
    VolumeRecord record;
    record.volumeName = CString(_T("\\\\?\\Volume{")) + deviceName.Mid(8) + _T("}\\");
    record.deviceName = deviceName;
    record.driveLetter = letter;
    record.deviceInstanceId = instanceId;
    for (const WCHAR* child : children) {
        record.childDeviceObjectNames.push_back(child);
    }
    return record;
}

// A volume of the internal disk: its instance id names no USB disk.
inline VolumeRecord InternalVolume(const CString& deviceName, LONG letter)
{
    return Volume(deviceName, letter, VolumeIdOnDisk(_T("SCSI\\DISK&VEN_ATA&PROD_INTERNAL\\4&1A2B&0&000000")));
}

inline VolumeRecord StickVolume(const CString& deviceName, LONG letter, const CString& serial,
                                std::initializer_list<const WCHAR*> children = {})
{
    return Volume(deviceName, letter, VolumeIdOnDisk(DiskId(serial)), children);
}

inline UsbStorageDevice Stick(WORD vendorId, WORD productId, const CString& serial)
{
    UsbStorageDevice device;
    device.vendorId = vendorId;
    device.productId = productId;
    device.manufacturer = _T("QEVRIN Labs");
    device.product = _T("Stick");
    device.serialNumber = serial;
    UsbDeviceNodeInfo usbNode;
    usbNode.instanceId = _T("USB\\VID_0000&PID_0000\\") + serial;
    UsbDeviceTree::Node* root = device.tree.SetRoot(usbNode);
    UsbDeviceNodeInfo diskNode;
    diskNode.instanceId = DiskId(serial);
    device.tree.AppendChild(root, diskNode);
    return device;
}

enum UseFlags : unsigned {
    UseVendor = 1,
    UseProduct = 2,
    UseSerial = 4,
    UseManufacturer = 8,
    UseProductName = 16,
};

inline WhitelistEntry Entry(WORD vendorId, WORD productId, const CString& serial, unsigned flags, int attribute)
{
    WhitelistEntry entry;
    entry.vendorId = vendorId;
    entry.productId = productId;
    entry.serialNumber = serial;
    entry.manufacturer = _T("QEVRIN Labs");
    entry.product = _T("Stick");
    entry.useVendorId = (flags & UseVendor) ? 1 : 0;
    entry.useProductId = (flags & UseProduct) ? 1 : 0;
    entry.useSerialNumber = (flags & UseSerial) ? 1 : 0;
    entry.useManufacturer = (flags & UseManufacturer) ? 1 : 0;
    entry.useProduct = (flags & UseProductName) ? 1 : 0;
    entry.attribute = attribute;
    return entry;
}

}  // namespace servicetest
