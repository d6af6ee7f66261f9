#include "classlib/CDialog.h"

#include "classlib/CException.h"
#include "classlib/DataExchange.h"

#include <cstring>

namespace {

// Offsets of the style in the two template layouts (the extended one starts with version 1
// and the signature 0xFFFF).
constexpr size_t kExtendedStyleOffset = 12;
constexpr size_t kClassicStyleOffset = 0;

bool IsExtendedTemplate(const std::vector<BYTE>& bytes)
{
    return bytes.size() >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF;
}

}  // namespace

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT, WPARAM, LPARAM)
{
    if (CWnd::FromHandlePermanent(hWnd) == nullptr) {
        // The dialog's first message (WM_SETFONT, else WM_INITDIALOG): bind the object that
        // is being created and put the library's procedure in front of the dialog's own.
        CWnd* wnd = AfxUnhookWindowCreate();
        if (wnd != nullptr) {
            wnd->Bind(hWnd, true);
            wnd->owned_ = true;
        }
    }
    return FALSE;
}

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDHelp(templateId), m_pParentWnd(parent)
{
}

CDialog::~CDialog() = default;

bool CDialog::LoadTemplate(std::vector<BYTE>& copy, bool clearVisible) const
{
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(m_nIDHelp), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (found == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const BYTE* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr || size < sizeof(DLGTEMPLATE)) {
        return false;
    }
    copy.assign(bytes, bytes + size);
    if (clearVisible) {
        const size_t offset = IsExtendedTemplate(copy) ? kExtendedStyleOffset : kClassicStyleOffset;
        if (copy.size() < offset + sizeof(DWORD)) {
            return false;
        }
        DWORD style = 0;
        std::memcpy(&style, copy.data() + offset, sizeof(style));
        style &= ~static_cast<DWORD>(WS_VISIBLE);
        std::memcpy(copy.data() + offset, &style, sizeof(style));
    }
    return true;
}

HWND CDialog::CreateFromTemplate(const std::vector<BYTE>& copy, HWND owner)
{
    AfxHookWindowCreate(this);
    HWND hWnd = CreateDialogIndirectParamW(AfxGetResourceHandle(), reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()),
                                           owner, &AfxDlgProc, 0);
    AfxUnhookWindowCreate();
    if (hWnd == nullptr && m_hWnd != nullptr) {
        Unbind();
    }
    return hWnd;
}

HWND CDialog::FindModalOwner() const
{
    HWND owner = nullptr;
    if (m_pParentWnd != nullptr) {
        owner = m_pParentWnd->m_hWnd;
    } else if (CWnd* main = AfxGetMainWnd()) {
        owner = main->m_hWnd;
    }
    while (owner != nullptr && (GetWindowLongPtrW(owner, GWL_STYLE) & WS_CHILD)) {
        owner = ::GetParent(owner);
    }
    return owner;
}

INT_PTR CDialog::DoModal()
{
    return RunModal(TRUE);
}

INT_PTR CDialog::RunModal(BOOL showOnIdle)
{
    std::vector<BYTE> copy;
    if (m_hWnd != nullptr || !LoadTemplate(copy, true)) {
        return -1;
    }
    HWND owner = FindModalOwner();
    bool enableOwner = false;
    if (owner != nullptr && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        enableOwner = true;
    }
    m_nModalResult = -1;
    ended_ = false;
    inModal_ = true;
    HWND hWnd = CreateFromTemplate(copy, owner);
    if (hWnd != nullptr && !ended_) {
        RunModalLoop(showOnIdle, owner);
    }
    inModal_ = false;

    // The owner comes back before the dialog goes, so activation can return to it.
    if (enableOwner) {
        ::EnableWindow(owner, TRUE);
    }
    if (m_hWnd != nullptr) {
        if (owner != nullptr && ::GetActiveWindow() == m_hWnd) {
            ::SetActiveWindow(owner);
        }
        SetWindowPos(nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOSIZE | SWP_NOMOVE);
        DestroyWindow();
    }
    return hWnd != nullptr ? m_nModalResult : -1;
}

void CDialog::RunModalLoop(BOOL showOnIdle, HWND owner)
{
    MSG msg;
    bool idle = true;
    while (!ended_ && m_hWnd != nullptr) {
        if (idle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (showOnIdle && !::IsWindowVisible(m_hWnd)) {
                ShowWindow(SW_SHOWNORMAL);
                UpdateWindow();
            }
            if (owner != nullptr && !(GetStyle() & DS_NOIDLEMSG)) {
                ::SendMessageW(owner, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(m_hWnd));
            }
            idle = false;
            continue;
        }
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            // The program is quitting: leave the loop and let the outer loop see it too.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (m_hWnd == nullptr || !IsDialogMessageW(m_hWnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // Timers and paints alone do not make the loop idle again.
        if (msg.message != WM_TIMER && msg.message != WM_PAINT && msg.message != WM_NULL) {
            idle = true;
        }
    }
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nIDHelp = templateId;
    m_pParentWnd = parent;
    std::vector<BYTE> copy;
    if (m_hWnd != nullptr || !LoadTemplate(copy, false)) {
        return FALSE;
    }
    return CreateFromTemplate(copy, parent ? parent->m_hWnd : nullptr) != nullptr;
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    ended_ = true;
    if (inModal_ && m_hWnd != nullptr) {
        // Wakes the loop, which may be waiting in GetMessage.
        PostMessage(WM_NULL);
    } else if (m_hWnd != nullptr) {
        ShowWindow(SW_HIDE);
    }
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE)) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

BOOL CDialog::OnCmdMsg(UINT id, int code)
{
    if (code != BN_CLICKED) {
        return FALSE;
    }
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITDIALOG) {
        *result = OnInitDialog();
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}
