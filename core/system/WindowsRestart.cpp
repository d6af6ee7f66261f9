#include "core/system/WindowsRestart.h"

#include "classlib/ScopedHandle.h"

BOOL SetShutdownPrivilege(bool enable)
{
    ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_INFORMATION, FALSE, GetCurrentProcessId()));
    if (!process.IsValid()) {
        return FALSE;
    }
    ScopedHandle token;
    if (!OpenProcessToken(process.Get(), TOKEN_ADJUST_PRIVILEGES, token.Receive())) {
        return FALSE;
    }
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        return FALSE;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    return AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

BOOL RestartWindows()
{
    SetShutdownPrivilege(true);
    // Without the privilege ExitWindowsEx fails by itself; there is nothing more to do then.
    ExitWindowsEx(EWX_REBOOT, 0);
    return SetShutdownPrivilege(false);
}
