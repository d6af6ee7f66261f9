#include "classlib/DataExchange.h"

#include "classlib/CException.h"

HWND CDataExchange::PrepareCtrl(int id)
{
    HWND control = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    if (control == nullptr) {
        throw CUserException();
    }
    lastControl_ = control;
    lastIsEdit_ = false;
    return control;
}

HWND CDataExchange::PrepareEditCtrl(int id)
{
    HWND control = PrepareCtrl(id);
    lastIsEdit_ = true;
    return control;
}

void CDataExchange::Fail()
{
    if (lastControl_ != nullptr) {
        if (lastIsEdit_) {
            ::SendMessageW(lastControl_, EM_SETSEL, 0, -1);
        }
        ::SetFocus(lastControl_);
    }
    throw CUserException();
}

void DDX_Text(CDataExchange* dx, int id, CString& value)
{
    HWND control = dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate) {
        const int length = ::GetWindowTextLengthW(control);
        CString text;
        WCHAR* buffer = text.GetBuffer(length);
        ::GetWindowTextW(control, buffer, length + 1);
        text.ReleaseBuffer();
        value = text;
    } else {
        // An edit tells its parent of every text it is given; giving it the text it already
        // shows would report a change that no one made.
        const int length = ::GetWindowTextLengthW(control);
        CString shown;
        WCHAR* buffer = shown.GetBuffer(length);
        ::GetWindowTextW(control, buffer, length + 1);
        shown.ReleaseBuffer();
        if (shown != value) {
            ::SetWindowTextW(control, value);
        }
    }
}

void DDX_Check(CDataExchange* dx, int id, int& value)
{
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) {
        value = static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0));
    } else {
        ::SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

void DDX_Radio(CDataExchange* dx, int id, int& value)
{
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) {
        value = -1;
    }
    int index = 0;
    // The group runs from the first button to the next control that starts a group.
    do {
        if (::SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (dx->m_bSaveAndValidate) {
                if (::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) {
                    value = index;
                }
            } else {
                ::SendMessageW(control, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++index;
        }
        control = ::GetWindow(control, GW_HWNDNEXT);
    } while (control != nullptr && !(GetWindowLongPtrW(control, GWL_STYLE) & WS_GROUP));
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (control.m_hWnd == nullptr) {
        HWND hWnd = dx->PrepareCtrl(id);
        if (!control.SubclassWindow(hWnd)) {
            throw CUserException();
        }
    }
}
