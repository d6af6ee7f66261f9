#include "tool/CUSBStorageTreeCtrl.h"

#include "tool/DeviceLabels.h"

void CUSBStorageTreeCtrl::FillNodes(const UsbStorageDevice* device)
{
    DeleteAllItems();
    if (device == nullptr || device->tree.Root() == nullptr) {
        return;
    }
    InsertNode(device->tree, *device->tree.Root(), TVI_ROOT);
}

void CUSBStorageTreeCtrl::InsertNode(const UsbDeviceTree& tree, const UsbDeviceTree::Node& node, HTREEITEM parent)
{
    const CString label = GetDeviceNodeLabel(node);
    if (label.IsEmpty()) {
        return;
    }
    HTREEITEM item = InsertItem(label, parent, TVI_LAST);
    if (item == nullptr) {
        return;
    }
    for (auto child = tree.FirstChild(&node); child != tree.ChildEnd(&node); ++child) {
        InsertNode(tree, *child, item);
    }
    if (parent != TVI_ROOT) {
        Expand(parent, TVE_EXPAND);
    }
}
