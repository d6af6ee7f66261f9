#pragma once
//
//  The class library's window: one C++ object bound to one window handle.
//
//  Binding: a window that the library creates finds its object through a per-thread creation
//  slot, filled just before the window is created and read on the first message that reaches
//  the library's window procedure (no executable thunks). A window of another class (a
//  control, a dialog created by the system) is bound by subclassing: its window procedure is
//  replaced and the old one called for everything the object leaves to Default(). The object
//  lets go of its handle only after WM_NCDESTROY. The handle map is process-wide.
//
//  Dispatch: WindowProc hands each message to OnWndMsg, which calls the virtual handlers
//  below (command by id and notification, WM_NOTIFY with reflection to the control that sent
//  it, WM_TIMER, WM_DEVICECHANGE) and Default() for the rest; classes override OnWndMsg for
//  their own messages. No C++ exception leaves the window procedure.
//
//  Wrappers are thin: each returns what the Win32 call returns. Windows builds only.
//
#include "classlib/CString.h"

#include <windows.h>

class CWnd {
public:
    CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Destroys a window the object still owns (it created or subclassed it).
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object bound to a handle, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Creates a window of any class with this object bound to it; FALSE when it fails.
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id, LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    // Binds an existing window by replacing its window procedure.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    // Gives the window its old procedure back and lets go of it.
    HWND UnsubclassWindow();

    // The message handling chain.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // The window's own processing: the subclassed procedure, or DefWindowProc.
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // WM_COMMAND: OnCommand splits it and calls OnCmdMsg with the control id and the
    // notification code; TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCmdMsg(UINT id, int code);
    // WM_NOTIFY: first offered to the control that sent it (OnChildNotify, "reflection"),
    // then to OnNotifyMsg of this window. TRUE when handled; result is the message result.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnNotifyMsg(NMHDR* header, LRESULT* result);
    // A notification this control sent to its parent, offered back to it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnReflectedNotify(NMHDR* header, LRESULT* result);
    virtual void OnTimer(UINT_PTR idEvent);
    // Returns the message result; the default is Default().
    virtual LRESULT OnDeviceChange(UINT eventType, DWORD_PTR data);
    // After WM_NCDESTROY, once the handle is let go.
    virtual void PostNcDestroy();

    // Thin wrappers.
    BOOL ShowWindow(int cmdShow) { return ::ShowWindow(m_hWnd, cmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    HWND SetActiveWindow() { return ::SetActiveWindow(m_hWnd); }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
    {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    BOOL GetWindowRect(LPRECT rect) const { return ::GetWindowRect(m_hWnd, rect); }
    BOOL GetClientRect(LPRECT rect) const { return ::GetClientRect(m_hWnd, rect); }
    BOOL ScreenToClient(LPRECT rect) const;
    // Centres the window over its owner (or the given window), else over the work area.
    void CenterWindow(CWnd* alternateOwner = nullptr);
    void SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, LPCWSTR text) { ::SetDlgItemTextW(m_hWnd, id, text); }
    UINT GetDlgCtrlID() const { return static_cast<UINT>(::GetDlgCtrlID(m_hWnd)); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    LONG_PTR GetStyle() const { return ::GetWindowLongPtrW(m_hWnd, GWL_STYLE); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR idEvent, UINT elapse, TIMERPROC timerFunc = nullptr)
    {
        return ::SetTimer(m_hWnd, idEvent, elapse, timerFunc);
    }
    BOOL KillTimer(UINT_PTR idEvent) { return ::KillTimer(m_hWnd, idEvent); }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)); }
    void SetFont(HFONT font, BOOL redraw = TRUE)
    {
        ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), MAKELPARAM(redraw, 0));
    }
    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK);

    HWND m_hWnd = nullptr;

protected:
    // The procedure that a subclassed window had; null for a window of the library's class.
    WNDPROC m_pfnSuper = nullptr;

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    friend class CDialog;
    friend class CPropertySheet;
    friend class CPropertyPage;

    // Binds hWnd to this object; with subclass, replaces its window procedure.
    void Bind(HWND hWnd, bool subclass);
    // Lets go of the handle (after WM_NCDESTROY, or when unsubclassing).
    void Unbind();

    // The message being handled, for Default().
    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    CurrentMessage current_ = {0, 0, 0};
    // The window was created or subclassed here; the destructor destroys it.
    bool owned_ = false;
};

// The library's window procedure: finds (or, on a window's first message, binds) the object
// and calls its WindowProc.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// The object that the next window created on this thread binds to; read and cleared by the
// first message of that window.
void AfxHookWindowCreate(CWnd* wnd);
// Clears the slot when creation failed before any message arrived; returns what was left.
CWnd* AfxUnhookWindowCreate();

// Registers (once) a window class served by AfxWndProc with these attributes and returns its
// name; the name stays valid for the life of the process. Throws CResourceException when the
// class cannot be registered.
LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                            HICON icon = nullptr);

// The module whose resources (templates, strings, icons) the library loads.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE instance);

// The main window of the calling thread's thread object (the application's on the main
// thread): the owner of dialogs created without a parent.
CWnd* AfxGetMainWnd();
void AfxSetMainWnd(CWnd* wnd);

// A message box whose text and caption are string resources; owner may be null.
int AfxMessageBoxFromIds(HWND owner, UINT textId, UINT captionId, UINT type);
