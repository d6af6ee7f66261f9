#pragma once
//
//  The texts that show an attached USB device and its device nodes.
//
#include "classlib/CString.h"
#include "core/usb/UsbStorageDevice.h"

// The root node's friendly name, else its description; empty without a root.
CString GetDeviceListLabel(const UsbStorageDevice& device);
// The node's friendly name, else its description, followed by " - (X:)" when the text is not
// empty and the node carries a drive letter.
CString GetDeviceNodeLabel(const UsbDeviceTree::Node& node);
// Whether two listings name the same attached device: same ids, strings and root node.
bool IsSameDevice(const UsbStorageDevice& a, const UsbStorageDevice& b);
