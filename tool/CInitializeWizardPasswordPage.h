#pragma once
//
//  The setup wizard's second page: a password and/or a USB key device, and whether either or
//  both unlock the tool. Nothing is stored yet, so a switched-on password must always be typed
//  twice. Windows builds only.
//
#include "classlib/CPropertyPage.h"
#include "core/model/PasswordData.h"

class CInitializeWizardPasswordPage : public CPropertyPage {
public:
    CInitializeWizardPasswordPage();

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;
    BOOL OnCmdMsg(UINT id, int code) override;

    // 1 when the values may be kept; otherwise the user was told what to fix.
    int Validate();
    void BuildPasswordData(Quelmar::PasswordData& data) const;

    int m_passwordOn = 1;
    CString m_password;
    CString m_confirmation;
    int m_keyDeviceOn = 0;
    CString m_vendorIdText;
    CString m_productIdText;
    CString m_serialText;
    // 0: either one unlocks, 1: both are needed (radio group 1035).
    int m_unlockIndex = 0;
    Quelmar::KeyDeviceId m_keyDevice;

private:
    void OnSetPassword();
    void OnUseUsbKey();
    void OnSelectDevice();
    void ApplyEnablingRules();
    void FormatKeyDeviceTexts();
    void RefusePassword(UINT messageId);
};

// The stored digest of a password text: MD5 of the hash family over its UTF-16LE code units.
std::vector<BYTE> ComputePasswordDigest(const CString& text);
// The stored unlock mode of the radio group's index: 0 gives 1 (either), 1 gives 2 (both).
int UnlockModeFromIndex(int index);
