#pragma once
//
//  The main sheet's password page: protection by a password, a USB key device or both, and
//  whether both are needed to unlock. It reads the sheet's loaded password data when it opens
//  and, on apply, checks its input and writes the sheet's edited password data. The stored
//  password is never shown. Windows builds only.
//
#include "classlib/CPropertyPage.h"
#include "tool/sheet/PasswordPageFields.h"

class CMainPasswordPage : public CPropertyPage {
public:
    CMainPasswordPage();

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    BOOL OnCmdMsg(UINT id, int code) override;

    // Whether the page differs from the sheet's loaded password data; typed text always does.
    BOOL IsChanged() const;
    // Refuses (with its message and the focus on the control to fix) a missing or unconfirmed
    // new password and a key device that was switched on but never chosen.
    BOOL Validate();

    PasswordPageFields m_fields;

private:
    // Moves the values into the controls. The edits report the texts they are given as
    // changes; those are not the user's and must not read the controls half-filled.
    void ShowValues();
    void OnSetPassword();
    void OnChange();
    void OnUseUsbKey();
    void OnSelectDevice();

    bool showingValues_ = false;
};
