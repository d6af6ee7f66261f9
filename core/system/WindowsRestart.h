#pragma once
//
//  Restarting Windows after a change that takes effect only at the next start. Windows builds
//  only.
//
#include <windows.h>

// Enables or disables SeShutdownPrivilege in the process token. Returns the result of
// AdjustTokenPrivileges, or FALSE when a step before it failed.
BOOL SetShutdownPrivilege(bool enable);

// Asks Windows to restart. Returns the result of giving the privilege back.
BOOL RestartWindows();
