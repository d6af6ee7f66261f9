#include "tool/CSelectUsbStorageDlg.h"

#include "classlib/DataExchange.h"
#include "core/model/WhitelistEntryMatcher.h"
#include "core/system/OSVersion.h"
#include "tool/CWhiteListControl.h"
#include "tool/DeviceLabels.h"
#include "tool/ISettingToolCore.h"
#include "tool/ToolMessages.h"
#include "tool/resource.h"

#include <memory>

namespace {

bool NeedsExemption()
{
    COSVersion version;
    return version.Is6_3OrLater();
}

bool IsExcluded(const UsbStorageDevice& device, const std::vector<Quelmar::WhitelistEntry>& entries)
{
    for (const Quelmar::WhitelistEntry& entry : entries) {
        if (Quelmar::WhitelistEntryMatcher(&entry).Matches(device)) {
            return true;
        }
    }
    return false;
}

}  // namespace

CSelectUsbStorageDlg::CSelectUsbStorageDlg(CWnd* parent) : CDialog(IDD_SELECT_USB_STORAGE, parent)
{
}

CSelectUsbStorageDlg::~CSelectUsbStorageDlg()
{
    thread_.Stop();
    if (NeedsExemption()) {
        Quelmar::GetSettingToolCore().UnregisterExemptProcess();
    }
}

void CSelectUsbStorageDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_DEVICE_LIST, m_list);
    DDX_Control(dx, IDC_DEVICE_TREE, m_tree);
    DDX_Text(dx, IDC_DETAIL_VENDOR_ID, m_vendorId);
    DDX_Text(dx, IDC_DETAIL_PRODUCT_ID, m_productId);
    DDX_Text(dx, IDC_DETAIL_SERIAL, m_serialNumber);
    DDX_Text(dx, IDC_DETAIL_MANUFACTURER, m_manufacturer);
    DDX_Text(dx, IDC_DETAIL_PRODUCT, m_product);
}

BOOL CSelectUsbStorageDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    const bool storage = m_mode == kUsbStorage;
    CString caption;
    CString label;
    caption.LoadString(storage ? IDS_USB_STORAGE : IDS_USB_DEVICE);
    label.LoadString(storage ? IDS_USB_STORAGE_LIST : IDS_USB_DEVICE_LIST);
    SetWindowText(caption);
    SetDlgItemText(IDC_DEVICE_LIST_LABEL, label);
    InsertSingleColumn(m_list);

    if (NeedsExemption() && !Quelmar::GetSettingToolCore().RegisterExemptProcess()) {
        EndDialog(0);
        return FALSE;
    }
    const DWORD storageOnly = storage ? static_cast<DWORD>(UsbDeviceEnumerator::OPTION_ONLY_WITH_DRIVE_LETTER) : 0;
    if (!thread_.IsRunning() && !thread_.Start(UsbDeviceEnumerator::INFO_ALL, storageOnly)) {
        EndDialog(0);
        return FALSE;
    }
    // The first pass ran while the thread started; later ones arrive as WM_APP_DEVICES_CHANGED.
    OnDevicesEnumerated();
    thread_.Subscribe(m_hWnd);
    thread_.RequestScan();
    return TRUE;
}

int CSelectUsbStorageDlg::SelectedRow() const
{
    return m_list.GetNextItem(-1, LVNI_SELECTED);
}

LRESULT CSelectUsbStorageDlg::OnDevicesEnumerated()
{
    // The device the administrator has chosen stays chosen when it is still attached: a
    // refill must not quietly move the selection to another device before OK.
    std::unique_ptr<UsbStorageDevice> previous;
    const int selected = SelectedRow();
    if (selected >= 0 && m_list.GetRow(selected) != nullptr) {
        previous.reset(new UsbStorageDevice(*m_list.GetRow(selected)));
    }

    std::vector<UsbStorageDevice> devices;
    thread_.GetDevices(devices);
    std::vector<UsbStorageDevice> kept;
    for (const UsbStorageDevice& device : devices) {
        if (!IsExcluded(device, m_excludedEntries)) {
            kept.push_back(device);
        }
    }
    m_list.FillDevices(kept);

    const int count = m_list.GetItemCount();
    if (count == 0) {
        ShowDeviceDetails(nullptr);
        m_tree.DeleteAllItems();
        return 0;
    }
    int row = 0;
    if (previous) {
        for (int index = 0; index < count; ++index) {
            const UsbStorageDevice* device = m_list.GetRow(index);
            if (device != nullptr && IsSameDevice(*device, *previous)) {
                row = index;
                break;
            }
        }
    }
    m_list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    m_list.EnsureVisible(row, FALSE);
    return 0;
}

void CSelectUsbStorageDlg::OnItemChanged()
{
    const int row = SelectedRow();
    const UsbStorageDevice* device = row >= 0 ? m_list.GetRow(row) : nullptr;
    ShowDeviceDetails(device);
    m_tree.FillNodes(device);
}

void CSelectUsbStorageDlg::ShowDeviceDetails(const UsbStorageDevice* device)
{
    if (device != nullptr) {
        m_vendorId.Format(L"0x%04X", static_cast<unsigned>(device->vendorId));
        m_productId.Format(L"0x%04X", static_cast<unsigned>(device->productId));
        m_serialNumber = device->serialNumber;
        m_manufacturer = device->manufacturer;
        m_product = device->product;
    } else {
        m_vendorId.Empty();
        m_productId.Empty();
        m_serialNumber.Empty();
        m_manufacturer.Empty();
        m_product.Empty();
    }
    ::EnableWindow(GetDlgItem(IDOK), device != nullptr);
    UpdateData(FALSE);
}

LRESULT CSelectUsbStorageDlg::OnDeviceChange(UINT, DWORD_PTR)
{
    if (thread_.IsRunning()) {
        thread_.RequestScan();
    }
    return Default();
}

void CSelectUsbStorageDlg::OnOK()
{
    const int row = SelectedRow();
    const UsbStorageDevice* device = row >= 0 ? m_list.GetRow(row) : nullptr;
    if (device != nullptr) {
        m_chosenDevice = *device;
        EndDialog(IDOK);
        return;
    }
    CString text;
    CString caption;
    text.LoadString(m_mode == kUsbStorage ? IDS_SELECT_USB_STORAGE : IDS_SELECT_USB_DEVICE);
    GetWindowText(caption);
    MessageBox(text, caption, MB_ICONINFORMATION);
}

BOOL CSelectUsbStorageDlg::OnNotifyMsg(NMHDR* header, LRESULT* result)
{
    if (header->idFrom == IDC_DEVICE_LIST && header->code == LVN_ITEMCHANGED) {
        OnItemChanged();
        *result = 0;
        return TRUE;
    }
    return CDialog::OnNotifyMsg(header, result);
}

BOOL CSelectUsbStorageDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_APP_DEVICES_CHANGED) {
        *result = OnDevicesEnumerated();
        return TRUE;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, result);
}
