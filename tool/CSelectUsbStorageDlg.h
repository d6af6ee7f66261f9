#pragma once
//
//  Lists the USB devices attached right now so that the administrator can pick one: a row per
//  device, and for the selected one its identity and device-node tree. The list follows
//  arrivals and removals through the USB data enumerator thread and keeps the selected device
//  selected while it stays attached. Windows builds only.
//
#include "classlib/CDialog.h"
#include "core/model/WhitelistEntry.h"
#include "core/usb/UsbStorageDevice.h"
#include "tool/CUSBStorageListCtrl.h"
#include "tool/CUSBStorageTreeCtrl.h"
#include "tool/EnumeratorThreadOwner.h"

#include <vector>

class CSelectUsbStorageDlg : public CDialog {
public:
    enum Mode : int { kUsbDevices = 0, kUsbStorage = 1 };

    explicit CSelectUsbStorageDlg(CWnd* parent = nullptr);
    ~CSelectUsbStorageDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnNotifyMsg(NMHDR* header, LRESULT* result) override;
    LRESULT OnDeviceChange(UINT eventType, DWORD_PTR data) override;

    // The device of the selected row, filled on OK.
    UsbStorageDevice m_chosenDevice;
    CUSBStorageListCtrl m_list;
    CUSBStorageTreeCtrl m_tree;
    CString m_vendorId;
    CString m_productId;
    CString m_serialNumber;
    CString m_manufacturer;
    CString m_product;
    // kUsbStorage lists devices that hold a volume; any other value lists every USB device.
    int m_mode = kUsbStorage;
    // Devices that match one of these are not listed (the entries already in the whitelist).
    std::vector<Quelmar::WhitelistEntry> m_excludedEntries;

private:
    LRESULT OnDevicesEnumerated();
    void OnItemChanged();
    void ShowDeviceDetails(const UsbStorageDevice* device);
    int SelectedRow() const;

    EnumeratorThreadOwner thread_;
};
