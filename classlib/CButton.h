#pragma once
//
//  A push button, check box or radio button. Windows builds only.
//
#include "classlib/CWnd.h"

class CButton : public CWnd {
public:
    BOOL Create(LPCWSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateEx(0, L"BUTTON", caption, style, rect, parent, id);
    }
    int GetCheck() const { return static_cast<int>(::SendMessageW(m_hWnd, BM_GETCHECK, 0, 0)); }
    void SetCheck(int check) { ::SendMessageW(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0); }
};
