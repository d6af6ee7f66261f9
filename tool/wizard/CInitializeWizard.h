#pragma once
//
//  The first-run setup: a three-page wizard (whitelist and switches, password or key device,
//  summary) whose Finish stores the setting and then the password data, asks the service to
//  reload and offers a restart when the CD/DVD policy must change. A failed step keeps the
//  wizard open; Finish runs every step again. Windows builds only.
//
#include "classlib/CPropertySheet.h"
#include "core/model/Setting.h"
#include "tool/wizard/CInitializeWizardFinishPage.h"
#include "tool/wizard/CInitializeWizardPasswordPage.h"
#include "tool/wizard/CInitializeWizardWholePage.h"

class CInitializeWizard : public CPropertySheet {
public:
    CInitializeWizard();

    BOOL OnInitDialog() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnCmdMsg(UINT id, int code) override;

    // The Finish button; the wizard closes only when everything was stored.
    void OnWizardFinish();

private:
    void OnPaint();

    UINT captionId_;
    CString caption_;
    HICON icon_;
    CInitializeWizardWholePage wholePage_;
    CInitializeWizardPasswordPage passwordPage_;
    CInitializeWizardFinishPage finishPage_;
    Quelmar::SettingV3 startingSetting_;
};
