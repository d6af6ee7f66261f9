#include "tool/CAddUSBStorageDlg.h"

#include "classlib/DataExchange.h"
#include "core/store/ParseHexU16.h"
#include "tool/CSelectUsbStorageDlg.h"
#include "tool/resource.h"

namespace {

enum Field { kVendorId, kProductId, kSerial, kManufacturer, kProduct };

}  // namespace

CAddUSBStorageDlg::CAddUSBStorageDlg(CWnd* parent) : CDialog(IDD_ADD_USB_STORAGE, parent)
{
    m_entry.attribute = -1;
}

CAddUSBStorageDlg::CAddUSBStorageDlg(const Quelmar::WhitelistEntry& entry, CWnd* parent)
    : CDialog(IDD_ADD_USB_STORAGE, parent), m_mode(0), m_entry(entry)
{
}

void CAddUSBStorageDlg::DoDataExchange(CDataExchange* dx)
{
    for (int field = 0; field < kFieldCount; ++field) {
        DDX_Text(dx, IDC_VENDOR_ID + field, m_text[field]);
    }
    for (int field = 0; field < kFieldCount; ++field) {
        DDX_Check(dx, IDC_USE_VENDOR_ID + field, m_use[field]);
    }
    DDX_Check(dx, IDC_READ_ONLY, m_readOnly);
}

BOOL CAddUSBStorageDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (m_mode == 1) {
        m_caption.LoadString(IDS_ADD_CAPTION);
        m_use[kVendorId] = 1;
        m_use[kProductId] = 1;
        m_use[kSerial] = 1;
    } else {
        m_caption.LoadString(IDS_EDIT_CAPTION);
        m_text[kVendorId].Format(L"%04X", static_cast<unsigned>(m_entry.vendorId));
        m_text[kProductId].Format(L"%04X", static_cast<unsigned>(m_entry.productId));
        m_text[kSerial] = m_entry.serialNumber;
        m_text[kManufacturer] = m_entry.manufacturer;
        m_text[kProduct] = m_entry.product;
        m_use[kVendorId] = m_entry.useVendorId;
        m_use[kProductId] = m_entry.useProductId;
        m_use[kSerial] = m_entry.useSerialNumber;
        m_use[kManufacturer] = m_entry.useManufacturer;
        m_use[kProduct] = m_entry.useProduct;
        m_readOnly = m_entry.attribute == Quelmar::WhitelistReadOnly ? 1 : 0;
    }
    SetWindowText(m_caption);
    UpdateData(FALSE);
    for (int field = 0; field < kFieldCount; ++field) {
        ::EnableWindow(GetDlgItem(IDC_VENDOR_ID + field), m_use[field] != 0);
    }
    return TRUE;
}

BOOL CAddUSBStorageDlg::OnCmdMsg(UINT id, int code)
{
    if (code == BN_CLICKED && id >= IDC_USE_VENDOR_ID && id < IDC_USE_VENDOR_ID + kFieldCount) {
        OnCheckField(static_cast<int>(id - IDC_USE_VENDOR_ID));
        return TRUE;
    }
    if (code == BN_CLICKED && id == IDC_BROWSE) {
        OnBrowse();
        return TRUE;
    }
    return CDialog::OnCmdMsg(id, code);
}

void CAddUSBStorageDlg::OnCheckField(int field)
{
    UpdateData(TRUE);
    ::EnableWindow(GetDlgItem(IDC_VENDOR_ID + field), m_use[field] != 0);
}

void CAddUSBStorageDlg::OnBrowse()
{
    UpdateData(TRUE);
    CSelectUsbStorageDlg select(this);
    select.m_mode = CSelectUsbStorageDlg::kUsbStorage;
    select.m_excludedEntries = m_excludedEntries;
    if (select.DoModal() != IDOK) {
        return;
    }
    const UsbStorageDevice& device = select.m_chosenDevice;
    m_text[kVendorId].Format(L"%04X", static_cast<unsigned>(device.vendorId));
    m_text[kProductId].Format(L"%04X", static_cast<unsigned>(device.productId));
    m_text[kSerial] = device.serialNumber;
    m_text[kManufacturer] = device.manufacturer;
    m_text[kProduct] = device.product;
    UpdateData(FALSE);
}

void CAddUSBStorageDlg::RefuseField(UINT messageId, int editId)
{
    CString text;
    text.LoadString(messageId);
    MessageBox(text, m_caption, MB_ICONINFORMATION);
    HWND edit = GetDlgItem(editId);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    ::SetFocus(edit);
}

void CAddUSBStorageDlg::OnOK()
{
    UpdateData(TRUE);
    bool anyChecked = false;
    for (int field = 0; field < kFieldCount; ++field) {
        anyChecked = anyChecked || m_use[field] != 0;
    }
    if (!anyChecked) {
        CString text;
        text.LoadString(IDS_SELECT_ONE_FIELD);
        MessageBox(text, m_caption, MB_ICONINFORMATION);
        return;
    }
    // A text the rule refuses (too long, not hexadecimal, or signed negative, which would
    // wrap to another id) counts only for a field that takes part in matching.
    WORD vendorId = 0;
    WORD productId = 0;
    const bool vendorValid = ParseHexU16(m_text[kVendorId], &vendorId) != 0;
    const bool productValid = ParseHexU16(m_text[kProductId], &productId) != 0;
    if (!vendorValid) {
        vendorId = 0;
    }
    if (!productValid) {
        productId = 0;
    }
    if (m_use[kVendorId] != 0 && !vendorValid) {
        RefuseField(IDS_BAD_VENDOR_ID, IDC_VENDOR_ID);
        return;
    }
    if (m_use[kProductId] != 0 && !productValid) {
        RefuseField(IDS_BAD_PRODUCT_ID, IDC_PRODUCT_ID);
        return;
    }
    m_entry.vendorId = vendorId;
    m_entry.productId = productId;
    m_entry.serialNumber = m_text[kSerial];
    m_entry.manufacturer = m_text[kManufacturer];
    m_entry.product = m_text[kProduct];
    m_entry.useVendorId = m_use[kVendorId];
    m_entry.useProductId = m_use[kProductId];
    m_entry.useSerialNumber = m_use[kSerial];
    m_entry.useManufacturer = m_use[kManufacturer];
    m_entry.useProduct = m_use[kProduct];
    m_entry.attribute = m_readOnly != 0 ? Quelmar::WhitelistReadOnly : Quelmar::WhitelistFullAccess;
    CDialog::OnOK();
}
