#pragma once
//
//  The setting tool's application object. All of the program happens in InitInstance: it
//  connects the tool core, reacts to what the connection found, and runs the setup wizard or
//  the unlock dialog and the settings sheet; it always answers FALSE, so the program ends when
//  they close. Windows builds only.
//
#include "classlib/CWinApp.h"

class CSettingToolApp : public CWinApp {
public:
    CSettingToolApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    // The wizard, unless a setting is stored already; then only the restart question.
    void RunSetupWizard();
    // The unlock dialog when the tool is protected, then the settings sheet.
    void RunSettingSheet();

private:
    bool comInitialised_ = false;
};
