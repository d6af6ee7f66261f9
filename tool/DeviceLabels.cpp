#include "tool/DeviceLabels.h"

CString GetDeviceListLabel(const UsbStorageDevice& device)
{
    const UsbDeviceTree::Node* root = device.tree.Root();
    if (root == nullptr) {
        return CString();
    }
    return !root->info.friendlyName.IsEmpty() ? root->info.friendlyName : root->info.description;
}

CString GetDeviceNodeLabel(const UsbDeviceTree::Node& node)
{
    CString text = !node.info.friendlyName.IsEmpty() ? node.info.friendlyName : node.info.description;
    if (!text.IsEmpty() && node.info.driveLetter != 0) {
        text.AppendFormat(L" - (%c:)", static_cast<wchar_t>(node.info.driveLetter));
    }
    return text;
}

bool IsSameDevice(const UsbStorageDevice& a, const UsbStorageDevice& b)
{
    if (a.vendorId != b.vendorId || a.productId != b.productId || a.serialNumber != b.serialNumber ||
        a.manufacturer != b.manufacturer || a.product != b.product) {
        return false;
    }
    const UsbDeviceTree::Node* rootA = a.tree.Root();
    const UsbDeviceTree::Node* rootB = b.tree.Root();
    if (rootA == nullptr || rootB == nullptr) {
        return rootA == rootB;
    }
    // Two sticks of one make without serial numbers differ by their device instance.
    return rootA->info.instanceId == rootB->info.instanceId;
}
