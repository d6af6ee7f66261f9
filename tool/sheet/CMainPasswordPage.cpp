#include "tool/sheet/CMainPasswordPage.h"

#include "tool/resource.h"
#include "tool/sheet/CMainSheet.h"

CMainPasswordPage::CMainPasswordPage() : CPropertyPage(IDD_MAIN_PASSWORD)
{
}

void CMainPasswordPage::ShowValues()
{
    showingValues_ = true;
    UpdateData(FALSE);
    showingValues_ = false;
}

void CMainPasswordPage::DoDataExchange(CDataExchange* dx)
{
    m_fields.Exchange(dx);
}

BOOL CMainPasswordPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    if (const CMainSheet* sheet = CMainSheet::FromPage(*this)) {
        const Quelmar::PasswordData& loaded = sheet->m_loadedPassword;
        m_fields.passwordOn = loaded.passwordSet;
        m_fields.keyDeviceOn = loaded.keyDeviceSet;
        m_fields.unlockIndex = loaded.unlockMode == Quelmar::UnlockModeBoth ? 1 : 0;
        m_fields.chosenKey = loaded.keyDevice;
        if (m_fields.keyDeviceOn == 1) {
            m_fields.FormatKeyDeviceTexts();
        }
    }
    ShowValues();
    m_fields.ApplyEnablingRules(*this);
    return TRUE;
}

BOOL CMainPasswordPage::IsChanged() const
{
    const CMainSheet* sheet = CMainSheet::FromPage(*this);
    if (sheet == nullptr) {
        return FALSE;
    }
    const Quelmar::PasswordData& loaded = sheet->m_loadedPassword;
    const bool same = m_fields.passwordOn == loaded.passwordSet && m_fields.password.IsEmpty() &&
                      m_fields.confirmation.IsEmpty() && m_fields.keyDeviceOn == loaded.keyDeviceSet &&
                      EqualKeyDevice(loaded.keyDevice, m_fields.chosenKey) &&
                      UnlockModeFromIndex(m_fields.unlockIndex) == loaded.unlockMode;
    return same ? FALSE : TRUE;
}

BOOL CMainPasswordPage::Validate()
{
    const CMainSheet* sheet = CMainSheet::FromPage(*this);
    const int storedPassword = sheet != nullptr ? sheet->m_loadedPassword.passwordSet : 0;
    // With a password stored, two empty boxes keep it; anything typed must be a matching pair.
    if (m_fields.passwordOn == 1 &&
        (storedPassword == 0 || !m_fields.password.IsEmpty() || !m_fields.confirmation.IsEmpty())) {
        if (m_fields.password.IsEmpty()) {
            PasswordPageFields::RefusePassword(*this, IDS_PASSWORD_REQUIRED);
            return FALSE;
        }
        if (m_fields.password != m_fields.confirmation) {
            PasswordPageFields::RefusePassword(*this, IDS_PASSWORD_MISMATCH);
            return FALSE;
        }
    }
    if (m_fields.keyDeviceOn == 1 && m_fields.KeyDeviceTextsEmpty()) {
        PasswordPageFields::RefuseKeyDevice(*this);
        return FALSE;
    }
    return TRUE;
}

BOOL CMainPasswordPage::OnCmdMsg(UINT id, int code)
{
    if (code == EN_CHANGE && (id == IDC_PASSWORD || id == IDC_PASSWORD_CONFIRM)) {
        OnChange();
        return TRUE;
    }
    if (code != BN_CLICKED) {
        return CPropertyPage::OnCmdMsg(id, code);
    }
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
    case IDC_UNLOCK_EITHER:
    case IDC_UNLOCK_BOTH:
        OnChange();
        return TRUE;
    default:
        return CPropertyPage::OnCmdMsg(id, code);
    }
}

void CMainPasswordPage::OnSetPassword()
{
    UpdateData(TRUE);
    SetModified(IsChanged());
    m_fields.ApplyEnablingRules(*this);
}

void CMainPasswordPage::OnChange()
{
    if (showingValues_) {
        return;
    }
    UpdateData(TRUE);
    SetModified(IsChanged());
}

void CMainPasswordPage::OnUseUsbKey()
{
    UpdateData(TRUE);
    SetModified(IsChanged());
    m_fields.ApplyEnablingRules(*this);
}

void CMainPasswordPage::OnSelectDevice()
{
    UpdateData(TRUE);
    if (m_fields.ChooseKeyDevice(this)) {
        ShowValues();
        SetModified(IsChanged());
    }
}

BOOL CMainPasswordPage::OnApply()
{
    UpdateData(TRUE);
    if (!Validate()) {
        return FALSE;
    }
    CMainSheet* sheet = CMainSheet::FromPage(*this);
    if (sheet != nullptr && IsChanged()) {
        Quelmar::PasswordData& edited = sheet->m_editedPassword;
        edited.passwordSet = m_fields.passwordOn;
        if (m_fields.passwordOn == 1) {
            edited.passwordDigest = m_fields.password.IsEmpty() ? sheet->m_loadedPassword.passwordDigest
                                                                : ComputePasswordDigest(m_fields.password);
        } else {
            m_fields.password.Empty();
            m_fields.confirmation.Empty();
            ShowValues();
            edited.passwordDigest.clear();
        }
        edited.keyDeviceSet = m_fields.keyDeviceOn;
        if (m_fields.keyDeviceOn == 1) {
            edited.keyDevice = m_fields.chosenKey;
        } else {
            edited.keyDevice.Clear();
        }
        edited.unlockMode = m_fields.passwordOn == 1 && m_fields.keyDeviceOn == 1
                                ? UnlockModeFromIndex(m_fields.unlockIndex)
                                : Quelmar::UnlockModeUnset;
    }
    CPropertyPage::OnOK();
    return TRUE;
}
