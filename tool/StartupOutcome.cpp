#include "tool/StartupOutcome.h"

#include "classlib/CWnd.h"
#include "core/process/ProcessEnumeratorHolder.h"
#include "core/store/SettingStore.h"
#include "core/system/ProgramPaths.h"
#include "core/system/ShieldButtonHook.h"
#include "tool/ISettingToolCore.h"
#include "tool/ToolMessages.h"
#include "tool/resource.h"
#include "tool/sheet/AskRestartForCdPolicy.h"

#include <shellapi.h>

#include <cwchar>

int ReportStartupResult(int result)
{
    switch (result) {
    case Quelmar::kConnected:
        return 1;
    case Quelmar::kAnotherInstance:
        ActivateRunningInstance();
        return 0;
    case Quelmar::kLegacyFiltersBlocked:
        OfferFbfProgram();
        return 0;
    default:
        AfxMessageBoxFromIds(nullptr, IDS_BAD_INSTALLATION, IDS_PRODUCT_NAME, MB_ICONERROR);
        return 0;
    }
}

void ActivateRunningInstance()
{
    ProcessEnumeratorProxy processes;
    CString title;
    title.LoadString(IDS_PRODUCT_NAME);
    const CString ownPath = GetModuleFilePath();

    std::vector<DWORD> ids;
    processes.FindByImagePath(ownPath, ids);
    const DWORD self = GetCurrentProcessId();
    for (DWORD id : ids) {
        if (id == self) {
            continue;
        }
        std::vector<HWND> windows;
        processes.GetProcessWindows(id, windows);
        for (HWND window : windows) {
            wchar_t text[256] = {};
            GetWindowTextW(window, text, 256);
            if (_wcsicmp(text, title) == 0) {
                PostMessageW(window, WM_APP_BRING_TO_FRONT, 0, 0);
            }
        }
    }
}

void OfferFbfProgram()
{
    int answer = 0;
    {
        // Only the shield goes on OK: the empty text keeps the button's own.
        ShieldButtonHook shield(IDOK, CString());
        answer = AfxMessageBoxFromIds(nullptr, IDS_LEGACY_FILTERS_BLOCKED, IDS_PRODUCT_NAME,
                                      MB_ICONINFORMATION | MB_OKCANCEL);
    }
    if (answer == IDOK) {
        ShellExecuteW(nullptr, L"open", Quelmar::GetFbfProgramPath(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

void PromptRestartForCdPolicy()
{
    AskRestartForCdPolicy(nullptr, *Quelmar::GetSettingToolCore().GetSettings());
}
