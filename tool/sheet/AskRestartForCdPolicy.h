#pragma once
//
//  Writing to CD/DVD is blocked through an Explorer policy that takes effect only after a
//  restart; after the setting changed, the tool offers one. Windows builds only.
//
#include "core/model/Setting.h"

#include <windows.h>

// Whether the setting wants CD/DVD writing blocked (control on and the switch on) while the
// policy says otherwise, or the other way round.
bool CdPolicyDiffersFromSetting(const Quelmar::SettingV3& setting);

// Asks whether to restart now (owner may be null); TRUE on Yes.
BOOL AskRestartNow(HWND owner);

// When the policy differs from the setting, asks and on Yes restarts Windows.
void AskRestartForCdPolicy(HWND owner, const Quelmar::SettingV3& setting);
