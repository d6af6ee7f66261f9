#pragma once
//
//  The setup wizard's second page: a password and/or a USB key device, and whether either or
//  both unlock the tool. Nothing is stored yet, so a switched-on password must always be typed
//  twice. Windows builds only.
//
#include "classlib/CPropertyPage.h"
#include "core/model/PasswordData.h"
#include "tool/sheet/PasswordPageFields.h"

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

    // Password on at the start, key device off, either one unlocks.
    PasswordPageFields m_fields;
};
