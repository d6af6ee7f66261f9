#pragma once
//
//  The thread messages of the enforcement thread.
//
#include <windows.h>

namespace Quelmar {

enum : UINT {
    WM_APP_RECHECK_TIMER = WM_APP + 1,
    WM_APP_EVALUATE = WM_APP + 2,
    WM_APP_DEVICE_EVENT = WM_APP + 3,
    WM_APP_SETTINGS_CHANGED = WM_APP + 4,
    WM_APP_ADD_EXEMPT_PROCESS = WM_APP + 5,
    WM_APP_REMOVE_EXEMPT_PROCESS = WM_APP + 6,
    WM_APP_QUERY_DRIVE_STATE = WM_APP + 7,
    WM_APP_SET_EXIT_CODE = WM_APP + 8,
};

}  // namespace Quelmar
