#include "tool/sheet/AskRestartForCdPolicy.h"

#include "classlib/CWnd.h"
#include "core/store/SettingStore.h"
#include "core/system/WindowsRestart.h"
#include "tool/resource.h"

bool CdPolicyDiffersFromSetting(const Quelmar::SettingV3& setting)
{
    const int wanted = setting.usbControlEnabled == 1 && setting.blockCdWriting == 1 ? 1 : 0;
    return wanted != Quelmar::IsCdBurningBlockedByPolicy();
}

BOOL AskRestartNow(HWND owner)
{
    return AfxMessageBoxFromIds(owner, IDS_RESTART_FOR_CD_POLICY, IDS_PRODUCT_NAME, MB_YESNO | MB_ICONINFORMATION) ==
                   IDYES
               ? TRUE
               : FALSE;
}

void AskRestartForCdPolicy(HWND owner, const Quelmar::SettingV3& setting)
{
    if (CdPolicyDiffersFromSetting(setting) && AskRestartNow(owner)) {
        RestartWindows();
    }
}
