#include "tool/wizard/CInitializeWizardPasswordPage.h"

#include "tool/resource.h"

CInitializeWizardPasswordPage::CInitializeWizardPasswordPage() : CPropertyPage(IDD_WIZARD_PASSWORD)
{
    m_fields.passwordOn = 1;
}

void CInitializeWizardPasswordPage::DoDataExchange(CDataExchange* dx)
{
    m_fields.Exchange(dx);
}

BOOL CInitializeWizardPasswordPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    m_fields.ApplyEnablingRules(*this);
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
    if (code != BN_CLICKED) {
        return CPropertyPage::OnCmdMsg(id, code);
    }
    switch (id) {
    case IDC_SET_PASSWORD:
    case IDC_USE_KEY_DEVICE:
        UpdateData(TRUE);
        m_fields.ApplyEnablingRules(*this);
        return TRUE;
    case IDC_SELECT_KEY_DEVICE:
        UpdateData(TRUE);
        if (m_fields.ChooseKeyDevice(this)) {
            UpdateData(FALSE);
        }
        return TRUE;
    default:
        return CPropertyPage::OnCmdMsg(id, code);
    }
}

int CInitializeWizardPasswordPage::Validate()
{
    if (m_fields.passwordOn == 0 && m_fields.keyDeviceOn == 0) {
        AfxMessageBoxFromIds(m_hWnd, IDS_SET_PASSWORD_OR_KEY, IDS_SHEET_CAPTION, MB_ICONINFORMATION);
        ::SetFocus(GetDlgItem(IDC_SET_PASSWORD));
        return 0;
    }
    // Nothing is stored yet: a switched-on password is always required.
    if (m_fields.passwordOn == 1) {
        if (m_fields.password.IsEmpty()) {
            PasswordPageFields::RefusePassword(*this, IDS_PASSWORD_REQUIRED);
            return 0;
        }
        if (m_fields.password != m_fields.confirmation) {
            PasswordPageFields::RefusePassword(*this, IDS_PASSWORD_MISMATCH);
            return 0;
        }
    }
    if (m_fields.keyDeviceOn == 1 && m_fields.KeyDeviceTextsEmpty()) {
        PasswordPageFields::RefuseKeyDevice(*this);
        return 0;
    }
    return 1;
}

void CInitializeWizardPasswordPage::BuildPasswordData(Quelmar::PasswordData& data) const
{
    data.passwordSet = m_fields.passwordOn;
    if (m_fields.passwordOn == 1) {
        data.passwordDigest = ComputePasswordDigest(m_fields.password);
    } else {
        data.passwordDigest.clear();
    }
    data.keyDeviceSet = m_fields.keyDeviceOn;
    if (m_fields.keyDeviceOn == 1) {
        data.keyDevice = m_fields.chosenKey;
    } else {
        data.keyDevice.Clear();
    }
    data.unlockMode = m_fields.passwordOn == 1 && m_fields.keyDeviceOn == 1 ? UnlockModeFromIndex(m_fields.unlockIndex)
                                                                             : Quelmar::UnlockModeUnset;
}
