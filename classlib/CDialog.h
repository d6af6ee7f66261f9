#pragma once
//
//  The class library's dialog: a dialog template of the resource module bound to one object,
//  run modally by the library's own loop or created modeless.
//
//  The modal run follows the system's own dialog box: the owner (the parent, else the
//  program's main window) is disabled while the dialog runs; no loop runs when EndDialog came
//  during WM_INITDIALOG; a WM_QUIT that ends the loop is posted again for the outer loop; the
//  owner is enabled again before the dialog hides. The window appears when the loop first
//  runs out of messages, unless the hidden mode leaves showing it to the dialog's own code.
//  DS_NOIDLEMSG keeps WM_ENTERIDLE from the owner. Windows builds only.
//
#include "classlib/CWnd.h"

#include <vector>

class CDataExchange;

class CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // The dialog result given to EndDialog; -1 when the template could not be loaded or the
    // window not created.
    virtual INT_PTR DoModal();
    // Modeless creation; FALSE when it fails.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);

    void EndDialog(int result);
    // Moves data between the controls and the members; FALSE when a value was refused.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* dx);

    BOOL OnCmdMsg(UINT id, int code) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    UINT m_nIDHelp = 0;
    CWnd* m_pParentWnd = nullptr;

protected:
    // The modal sequence; with showOnIdle FALSE the window stays hidden until code shows it.
    INT_PTR RunModal(BOOL showOnIdle);
    // The owner for a modal run: the top-level window of the parent or of the main window.
    HWND FindModalOwner() const;

    int m_nModalResult = -1;

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    // A private copy of the template, with WS_VISIBLE cleared for a modal run.
    bool LoadTemplate(std::vector<BYTE>& copy, bool clearVisible) const;
    HWND CreateFromTemplate(const std::vector<BYTE>& copy, HWND owner);
    void RunModalLoop(BOOL showOnIdle, HWND owner);

    bool inModal_ = false;
    bool ended_ = false;
};

// The dialog procedure of the library's dialogs: binds the object on the dialog's first
// message and calls OnInitDialog on WM_INITDIALOG; everything else reaches the object through
// its window procedure first.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
