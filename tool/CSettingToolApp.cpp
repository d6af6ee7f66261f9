#include "tool/CSettingToolApp.h"

#include "core/process/ProcessEnumeratorHolder.h"
#include "core/process/ProcessLibraries.h"
#include "tool/wizard/CInitializeWizard.h"
#include "tool/CInputPasswordDlg.h"
#include "tool/CSettingToolCommandLineInfo.h"
#include "tool/ISettingToolCore.h"
#include "tool/StartupOutcome.h"
#include "tool/sheet/CMainSheet.h"

#include <commctrl.h>
#include <objbase.h>

CSettingToolApp::CSettingToolApp() = default;

BOOL CSettingToolApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    comInitialised_ = SUCCEEDED(CoInitialize(nullptr));

    if (GetPsapiLibrary().Load()) {
        UsePsapiProcessEnumerator();
    } else {
        UseToolhelpProcessEnumerator();
    }

    CSettingToolCommandLineInfo commandLine;
    ParseCommandLine(commandLine);

    if (!ReportStartupResult(Quelmar::GetSettingToolCore().Connect())) {
        return FALSE;
    }
    if (commandLine.m_wizard) {
        RunSetupWizard();
    } else {
        RunSettingSheet();
    }
    return FALSE;
}

void CSettingToolApp::RunSetupWizard()
{
    if (*Quelmar::GetSettingToolCore().IsSetupDone() == 1) {
        PromptRestartForCdPolicy();
        return;
    }
    CInitializeWizard wizard;
    m_pMainWnd = &wizard;
    wizard.DoModal();
    m_pMainWnd = nullptr;
}

void CSettingToolApp::RunSettingSheet()
{
    const Quelmar::PasswordData* passwordData = Quelmar::GetSettingToolCore().GetPasswordData();
    if (passwordData->passwordSet == 1 || passwordData->keyDeviceSet == 1) {
        CInputPasswordDlg unlock(passwordData);
        const INT_PTR result = passwordData->keyDeviceSet == 1 ? unlock.DoModalHidden() : unlock.DoModal();
        if (result != IDOK) {
            PromptRestartForCdPolicy();
            return;
        }
    }
    CMainSheet sheet;
    m_pMainWnd = &sheet;
    sheet.DoModal();
    m_pMainWnd = nullptr;
}

int CSettingToolApp::ExitInstance()
{
    ReleaseProcessEnumeratorSingletons();
    Quelmar::GetSettingToolCore().Disconnect();
    if (comInitialised_) {
        CoUninitialize();
        comInitialised_ = false;
    }
    return CWinApp::ExitInstance();
}
