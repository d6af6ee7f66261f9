#pragma once
//
//  Window messages that the setting tool's windows and threads exchange.
//
#include <windows.h>

// Posted by the USB data enumerator thread to its subscribers when a new device list is
// published (wParam 0, lParam 0); also the thread message that asks the thread for a pass.
constexpr UINT WM_APP_DEVICES_CHANGED = 0x8001;
// Sent by a second instance of the tool to the windows of the running one (wParam 0, lParam 0).
constexpr UINT WM_APP_BRING_TO_FRONT = 0x8014;
