#pragma once
//
//  The list of attached USB devices in the device selection dialog; each row owns a copy of
//  its device. Windows builds only.
//
#include "core/usb/UsbStorageDevice.h"
#include "tool/OwningListCtrl.h"

#include <vector>

class CUSBStorageListCtrl : public COwningListCtrl<UsbStorageDevice> {
public:
    // Replaces the rows with one per device that has a label, in order, and sizes the column.
    void FillDevices(const std::vector<UsbStorageDevice>& devices);
};
