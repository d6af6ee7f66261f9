#include "tool/sheet/PasswordPageFields.h"

#include "classlib/DataExchange.h"
#include "tool/CSelectUsbStorageDlg.h"
#include "tool/PasswordVerifier.h"
#include "tool/resource.h"

namespace {

constexpr int kHashTypeMd5 = 2;

}  // namespace

int UnlockModeFromIndex(int index)
{
    switch (index) {
    case 0:
        return Quelmar::UnlockModeEither;
    case 1:
        return Quelmar::UnlockModeBoth;
    default:
        return Quelmar::UnlockModeUnset;
    }
}

std::vector<BYTE> ComputePasswordDigest(const CString& text)
{
    Quelmar::PasswordDigest digest(kHashTypeMd5);
    digest.Compute(text);
    return digest.bytes;
}

BOOL EqualKeyDevice(const Quelmar::KeyDeviceId& a, const Quelmar::KeyDeviceId& b)
{
    return a.vendorId == b.vendorId && a.productId == b.productId && a.serialNumber == b.serialNumber ? TRUE
                                                                                                     : FALSE;
}

void PasswordPageFields::Exchange(CDataExchange* dx)
{
    DDX_Check(dx, IDC_SET_PASSWORD, passwordOn);
    DDX_Text(dx, IDC_PASSWORD, password);
    DDX_Text(dx, IDC_PASSWORD_CONFIRM, confirmation);
    DDX_Check(dx, IDC_USE_KEY_DEVICE, keyDeviceOn);
    DDX_Text(dx, IDC_KEY_VENDOR_ID, vendorIdText);
    DDX_Text(dx, IDC_KEY_PRODUCT_ID, productIdText);
    DDX_Text(dx, IDC_KEY_SERIAL, serialText);
    DDX_Radio(dx, IDC_UNLOCK_EITHER, unlockIndex);
}

void PasswordPageFields::ApplyEnablingRules(CWnd& page) const
{
    const BOOL password = passwordOn != 0;
    const BOOL key = keyDeviceOn != 0;
    ::EnableWindow(page.GetDlgItem(IDC_PASSWORD), password);
    ::EnableWindow(page.GetDlgItem(IDC_PASSWORD_CONFIRM), password);
    for (int id : {IDC_KEY_VENDOR_ID, IDC_KEY_PRODUCT_ID, IDC_KEY_SERIAL, IDC_SELECT_KEY_DEVICE}) {
        ::EnableWindow(page.GetDlgItem(id), key);
    }
    ::EnableWindow(page.GetDlgItem(IDC_UNLOCK_EITHER), password && key);
    ::EnableWindow(page.GetDlgItem(IDC_UNLOCK_BOTH), password && key);
}

void PasswordPageFields::FormatKeyDeviceTexts()
{
    vendorIdText.Format(L"0x%04X", static_cast<unsigned>(chosenKey.vendorId));
    productIdText.Format(L"0x%04X", static_cast<unsigned>(chosenKey.productId));
    serialText = chosenKey.serialNumber;
}

BOOL PasswordPageFields::ChooseKeyDevice(CWnd* owner)
{
    CSelectUsbStorageDlg dialog(owner);
    dialog.m_mode = CSelectUsbStorageDlg::kUsbDevices;
    if (dialog.DoModal() != IDOK) {
        return FALSE;
    }
    chosenKey.vendorId = dialog.m_chosenDevice.vendorId;
    chosenKey.productId = dialog.m_chosenDevice.productId;
    chosenKey.serialNumber = dialog.m_chosenDevice.serialNumber;
    FormatKeyDeviceTexts();
    return TRUE;
}

BOOL PasswordPageFields::KeyDeviceTextsEmpty() const
{
    return vendorIdText.IsEmpty() && productIdText.IsEmpty() && serialText.IsEmpty() ? TRUE : FALSE;
}

void PasswordPageFields::RefusePassword(CWnd& page, UINT messageId)
{
    AfxMessageBoxFromIds(page.m_hWnd, messageId, IDS_SHEET_CAPTION, MB_ICONINFORMATION);
    HWND edit = page.GetDlgItem(IDC_PASSWORD);
    ::SetFocus(edit);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

void PasswordPageFields::RefuseKeyDevice(CWnd& page)
{
    AfxMessageBoxFromIds(page.m_hWnd, IDS_SELECT_USB_DEVICE, IDS_SHEET_CAPTION, MB_ICONINFORMATION);
    ::SetFocus(page.GetDlgItem(IDC_SELECT_KEY_DEVICE));
}
