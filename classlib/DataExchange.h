#pragma once
//
//  Dialog data exchange: moving values between a dialog's controls and its members, in
//  either direction, in one DoDataExchange. A refused value fails the whole exchange after the
//  user was told, and focus goes to the control that was being exchanged. Windows builds only.
//
#include "classlib/CString.h"
#include "classlib/CWnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    // The control with that id, remembered for Fail; throws CUserException when it is missing.
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Ends the exchange: focus (and, for an edit, the selection) to the last control; throws
    // CUserException.
    [[noreturn]] void Fail();

    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;

private:
    HWND lastControl_ = nullptr;
    bool lastIsEdit_ = false;
};

void DDX_Text(CDataExchange* dx, int id, CString& value);
// The check state: BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
void DDX_Check(CDataExchange* dx, int id, int& value);
// The index of the checked button in the group that begins at id (-1 when none).
void DDX_Radio(CDataExchange* dx, int id, int& value);
// Binds the control to the object on the first exchange (by subclassing).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
