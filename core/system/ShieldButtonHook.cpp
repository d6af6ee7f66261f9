#include "core/system/ShieldButtonHook.h"

#include <commctrl.h>

namespace {

HHOOK g_hook = nullptr;
int g_buttonId = 0;
CString g_text;

}  // namespace

LRESULT CALLBACK ShieldButtonHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0) {
        const CWPRETSTRUCT* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (message != nullptr && message->message == WM_INITDIALOG) {
            HWND button = GetDlgItem(message->hwnd, g_buttonId);
            if (IsWindow(button) == TRUE) {
                SendMessageW(button, BCM_SETSHIELD, 0, TRUE);
                if (!g_text.IsEmpty()) {
                    SetWindowTextW(button, g_text);
                }
            }
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

ShieldButtonHook::ShieldButtonHook(int buttonId, const CString& text)
{
    g_buttonId = buttonId;
    g_text = text;
    g_hook = SetWindowsHookExW(WH_CALLWNDPROCRET, ShieldButtonHookProc, nullptr, GetCurrentThreadId());
}

ShieldButtonHook::~ShieldButtonHook()
{
    if (g_hook != nullptr) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
    g_buttonId = 0;
    g_text.Empty();
}

bool ShieldButtonHook::IsInstalled() const
{
    return g_hook != nullptr;
}
