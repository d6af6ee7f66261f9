#include "tool/CInitializeWizardPasswordPage.h"

#include "classlib/DataExchange.h"
#include "tool/CSelectUsbStorageDlg.h"
#include "tool/PasswordVerifier.h"
#include "tool/resource.h"

std::vector<BYTE> ComputePasswordDigest(const CString& text)
{
    Quelmar::PasswordDigest digest(2);
    digest.Compute(text);
    return digest.bytes;
}

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

CInitializeWizardPasswordPage::CInitializeWizardPasswordPage() : CPropertyPage(IDD_WIZARD_PASSWORD)
{
}

void CInitializeWizardPasswordPage::DoDataExchange(CDataExchange* dx)
{
    DDX_Check(dx, IDC_SET_PASSWORD, m_passwordOn);
    DDX_Text(dx, IDC_PASSWORD, m_password);
    DDX_Text(dx, IDC_PASSWORD_CONFIRM, m_confirmation);
    DDX_Check(dx, IDC_USE_KEY_DEVICE, m_keyDeviceOn);
    DDX_Text(dx, IDC_KEY_VENDOR_ID, m_vendorIdText);
    DDX_Text(dx, IDC_KEY_PRODUCT_ID, m_productIdText);
    DDX_Text(dx, IDC_KEY_SERIAL, m_serialText);
    DDX_Radio(dx, IDC_UNLOCK_EITHER, m_unlockIndex);
}

BOOL CInitializeWizardPasswordPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    ApplyEnablingRules();
    return TRUE;
}

BOOL CInitializeWizardPasswordPage::OnSetActive()
{
    ::PostMessageW(GetSheetWindow(), PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_NEXT);
    return CPropertyPage::OnSetActive();
}

LRESULT CInitializeWizardPasswordPage::OnWizardNext()
{
    UpdateData(TRUE);
    return Validate() == 1 ? 0 : -1;
}

BOOL CInitializeWizardPasswordPage::OnCmdMsg(UINT id, int code)
{
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_SET_PASSWORD:
            OnSetPassword();
            return TRUE;
        case IDC_USE_KEY_DEVICE:
            OnUseUsbKey();
            return TRUE;
        case IDC_SELECT_KEY_DEVICE:
            OnSelectDevice();
            return TRUE;
        default:
            break;
        }
    }
    return CPropertyPage::OnCmdMsg(id, code);
}

void CInitializeWizardPasswordPage::ApplyEnablingRules()
{
    for (int id : {IDC_PASSWORD, IDC_PASSWORD_CONFIRM}) {
        ::EnableWindow(GetDlgItem(id), m_passwordOn != 0);
    }
    for (int id : {IDC_KEY_VENDOR_ID, IDC_KEY_PRODUCT_ID, IDC_KEY_SERIAL, IDC_SELECT_KEY_DEVICE}) {
        ::EnableWindow(GetDlgItem(id), m_keyDeviceOn != 0);
    }
    for (int id : {IDC_UNLOCK_EITHER, IDC_UNLOCK_BOTH}) {
        ::EnableWindow(GetDlgItem(id), m_passwordOn != 0 && m_keyDeviceOn != 0);
    }
}

void CInitializeWizardPasswordPage::OnSetPassword()
{
    UpdateData(TRUE);
    ApplyEnablingRules();
}

void CInitializeWizardPasswordPage::OnUseUsbKey()
{
    UpdateData(TRUE);
    ApplyEnablingRules();
}

void CInitializeWizardPasswordPage::OnSelectDevice()
{
    UpdateData(TRUE);
    CSelectUsbStorageDlg dialog(this);
    dialog.m_mode = CSelectUsbStorageDlg::kUsbDevices;
    if (dialog.DoModal() != IDOK) {
        return;
    }
    m_keyDevice.vendorId = dialog.m_chosenDevice.vendorId;
    m_keyDevice.productId = dialog.m_chosenDevice.productId;
    m_keyDevice.serialNumber = dialog.m_chosenDevice.serialNumber;
    FormatKeyDeviceTexts();
    UpdateData(FALSE);
}

void CInitializeWizardPasswordPage::FormatKeyDeviceTexts()
{
    m_vendorIdText.Format(L"0x%04X", static_cast<unsigned>(m_keyDevice.vendorId));
    m_productIdText.Format(L"0x%04X", static_cast<unsigned>(m_keyDevice.productId));
    m_serialText = m_keyDevice.serialNumber;
}

void CInitializeWizardPasswordPage::RefusePassword(UINT messageId)
{
    AfxMessageBoxFromIds(m_hWnd, messageId, IDS_SHEET_CAPTION, MB_ICONINFORMATION);
    HWND edit = GetDlgItem(IDC_PASSWORD);
    ::SetFocus(edit);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

int CInitializeWizardPasswordPage::Validate()
{
    if (m_passwordOn == 0 && m_keyDeviceOn == 0) {
        AfxMessageBoxFromIds(m_hWnd, IDS_SET_PASSWORD_OR_KEY, IDS_SHEET_CAPTION, MB_ICONINFORMATION);
        ::SetFocus(GetDlgItem(IDC_SET_PASSWORD));
        return 0;
    }
    if (m_passwordOn == 1) {
        if (m_password.IsEmpty()) {
            RefusePassword(IDS_PASSWORD_REQUIRED);
            return 0;
        }
        if (m_password != m_confirmation) {
            RefusePassword(IDS_PASSWORD_MISMATCH);
            return 0;
        }
    }
    if (m_keyDeviceOn == 1 && m_vendorIdText.IsEmpty() && m_productIdText.IsEmpty() && m_serialText.IsEmpty()) {
        AfxMessageBoxFromIds(m_hWnd, IDS_SELECT_USB_DEVICE, IDS_SHEET_CAPTION, MB_ICONINFORMATION);
        ::SetFocus(GetDlgItem(IDC_SELECT_KEY_DEVICE));
        return 0;
    }
    return 1;
}

void CInitializeWizardPasswordPage::BuildPasswordData(Quelmar::PasswordData& data) const
{
    data.passwordSet = m_passwordOn;
    if (m_passwordOn == 1) {
        data.passwordDigest = ComputePasswordDigest(m_password);
    } else {
        data.passwordDigest.clear();
    }
    data.keyDeviceSet = m_keyDeviceOn;
    if (m_keyDeviceOn == 1) {
        data.keyDevice = m_keyDevice;
    } else {
        data.keyDevice.Clear();
    }
    data.unlockMode = m_passwordOn == 1 && m_keyDeviceOn == 1 ? UnlockModeFromIndex(m_unlockIndex)
                                                               : Quelmar::UnlockModeUnset;
}
