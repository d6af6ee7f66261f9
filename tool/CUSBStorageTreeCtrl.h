#pragma once
//
//  The device-node tree of the selected device in the device selection dialog.
//  Windows builds only.
//
#include "classlib/CTreeCtrl.h"
#include "core/usb/UsbStorageDevice.h"

class CUSBStorageTreeCtrl : public CTreeCtrl {
public:
    // Replaces the items with the device's nodes; a node without a label hides its subtree.
    void FillNodes(const UsbStorageDevice* device);

private:
    void InsertNode(const UsbDeviceTree& tree, const UsbDeviceTree::Node& node, HTREEITEM parent);
};
