#include "tool/CUSBStorageListCtrl.h"

#include "tool/DeviceLabels.h"

void CUSBStorageListCtrl::FillDevices(const std::vector<UsbStorageDevice>& devices)
{
    DeleteAllItems();
    for (const UsbStorageDevice& device : devices) {
        const CString label = GetDeviceListLabel(device);
        if (!label.IsEmpty()) {
            AppendRow(label, device);
        }
    }
    SetColumnWidth(0, LVSCW_AUTOSIZE);
}
