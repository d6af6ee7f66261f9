#pragma once
//
//  Puts the elevation shield (and, when given, a new text) on one button of the next dialog
//  that the installing thread opens, typically a message box. Windows builds only.
//
#include "classlib/CString.h"

#include <windows.h>

LRESULT CALLBACK ShieldButtonHookProc(int code, WPARAM wParam, LPARAM lParam);

// Installs ShieldButtonHookProc for the current thread for as long as it lives. The hook's
// state is process-wide: one hook at a time.
class ShieldButtonHook {
public:
    ShieldButtonHook(int buttonId, const CString& text);
    ShieldButtonHook(const ShieldButtonHook&) = delete;
    ShieldButtonHook& operator=(const ShieldButtonHook&) = delete;
    ~ShieldButtonHook();

    bool IsInstalled() const;
};
