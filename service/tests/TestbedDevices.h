// The USB storage devices of the simulated PC as the enumeration reports them: the device
// node and the disk node below it, with the identity the device gives.
#pragma once

#include "core/usb/UsbStorageDevice.h"
#include "testbed/machine/Machine.h"

namespace servicetest {

inline UsbStorageDevice Enumerated(testbed::UsbDevice& device)
{
    UsbStorageDevice found;
    found.vendorId = device.Spec().vendorId;
    found.productId = device.Spec().productId;
    found.manufacturer = device.Spec().manufacturer.c_str();
    found.product = device.Spec().product.c_str();
    found.serialNumber = device.Spec().serial.c_str();
    UsbDeviceNodeInfo node;
    node.instanceId = device.Node()->InstanceId().c_str();
    UsbDeviceTree::Node* root = found.tree.SetRoot(node);
    node.instanceId = device.Disk()->InstanceId().c_str();
    found.tree.AppendChild(root, node);
    return found;
}

}  // namespace servicetest
