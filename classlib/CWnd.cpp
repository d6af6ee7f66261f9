#include "classlib/CWnd.h"

#include "classlib/CException.h"
#include "classlib/CWinApp.h"

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

// Process-wide: a window's messages may be looked up from any thread (a sheet and its pages,
// a test's driver thread asking for an object); every access holds the lock.
std::mutex g_mapLock;
std::map<HWND, CWnd*>& HandleMap()
{
    static std::map<HWND, CWnd*> map;
    return map;
}

thread_local CWnd* t_creating = nullptr;

HINSTANCE g_resourceHandle = nullptr;
// The main window of a thread that has no thread object of the library.
CWnd* g_mainWnd = nullptr;

}  // namespace

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    if (hWnd == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(g_mapLock);
    auto it = HandleMap().find(hWnd);
    return it == HandleMap().end() ? nullptr : it->second;
}

void AfxHookWindowCreate(CWnd* wnd)
{
    t_creating = wnd;
}

CWnd* AfxUnhookWindowCreate()
{
    CWnd* left = t_creating;
    t_creating = nullptr;
    return left;
}

HINSTANCE AfxGetResourceHandle()
{
    return g_resourceHandle != nullptr ? g_resourceHandle : GetModuleHandleW(nullptr);
}

void AfxSetResourceHandle(HINSTANCE instance)
{
    g_resourceHandle = instance;
}

CWnd* AfxGetMainWnd()
{
    CWinThread* thread = AfxGetThread();
    return thread != nullptr ? thread->m_pMainWnd : g_mainWnd;
}

void AfxSetMainWnd(CWnd* wnd)
{
    if (CWinThread* thread = AfxGetThread()) {
        thread->m_pMainWnd = wnd;
    } else {
        g_mainWnd = wnd;
    }
}

int AfxMessageBoxFromIds(HWND owner, UINT textId, UINT captionId, UINT type)
{
    CString text;
    CString caption;
    text.LoadString(textId);
    caption.LoadString(captionId);
    return ::MessageBoxW(owner, text, caption, type);
}

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_hWnd != nullptr && owned_) {
        // A window must not outlive the object its procedure calls into.
        ::DestroyWindow(m_hWnd);
    }
    if (m_hWnd != nullptr) {
        Unbind();
    }
}

void CWnd::Bind(HWND hWnd, bool subclass)
{
    m_hWnd = hWnd;
    {
        std::lock_guard<std::mutex> guard(g_mapLock);
        HandleMap()[hWnd] = this;
    }
    if (subclass) {
        m_pfnSuper = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    }
}

void CWnd::Unbind()
{
    if (m_pfnSuper != nullptr && IsWindow(m_hWnd) &&
        GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&AfxWndProc)) {
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    }
    {
        std::lock_guard<std::mutex> guard(g_mapLock);
        auto it = HandleMap().find(m_hWnd);
        if (it != HandleMap().end() && it->second == this) {
            HandleMap().erase(it);
        }
    }
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    owned_ = false;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
    if (wnd == nullptr) {
        wnd = AfxUnhookWindowCreate();
        if (wnd == nullptr) {
            return ::DefWindowProcW(hWnd, message, wParam, lParam);
        }
        wnd->Bind(hWnd, false);
        wnd->owned_ = true;
    }
    LRESULT result = 0;
    try {
        result = wnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind through the system's dispatch.
        result = 0;
    }
    if (message == WM_NCDESTROY && CWnd::FromHandlePermanent(hWnd) == wnd) {
        wnd->Unbind();
        wnd->PostNcDestroy();
    }
    return result;
}

LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon)
{
    static std::mutex lock;
    // Node-based: a name handed out never moves.
    static std::set<std::wstring> names;
    wchar_t name[96];
    wsprintfW(name, L"Afx:%p:%x:%p:%p:%p", static_cast<void*>(AfxGetInstanceHandle()), classStyle,
              static_cast<void*>(cursor), static_cast<void*>(background), static_cast<void*>(icon));
    std::lock_guard<std::mutex> guard(lock);
    auto known = names.find(name);
    if (known != names.end()) {
        return known->c_str();
    }
    WNDCLASSW wc = {};
    wc.style = classStyle;
    wc.lpfnWndProc = &AfxWndProc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = name;
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw CResourceException(GetLastError());
    }
    return names.insert(name).first->c_str();
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                    CWnd* parent, UINT id, LPVOID param)
{
    if (m_hWnd != nullptr) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    AfxHookWindowCreate(this);
    HWND hWnd = ::CreateWindowExW(exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AfxGetInstanceHandle(), param);
    CWnd* left = AfxUnhookWindowCreate();
    if (hWnd == nullptr) {
        return FALSE;
    }
    if (left == this) {
        // A class of another procedure (a control): bind it by subclassing.
        Bind(hWnd, true);
        owned_ = true;
    }
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == nullptr) {
        return FALSE;
    }
    HWND hWnd = m_hWnd;
    BOOL result = ::DestroyWindow(hWnd);
    // A window bound by subclassing whose procedure was replaced again by someone else gets no
    // WM_NCDESTROY through us: let go here.
    if (m_hWnd == hWnd && !IsWindow(hWnd)) {
        Unbind();
    }
    return result;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (m_hWnd != nullptr || hWnd == nullptr || !IsWindow(hWnd) || FromHandlePermanent(hWnd) != nullptr) {
        return FALSE;
    }
    Bind(hWnd, true);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    HWND control = parent ? ::GetDlgItem(parent->m_hWnd, static_cast<int>(id)) : nullptr;
    return control ? SubclassWindow(control) : FALSE;
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (hWnd != nullptr) {
        Unbind();
    }
    return hWnd;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    CurrentMessage saved = current_;
    current_ = {message, wParam, lParam};
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) {
        result = DefWindowProc(message, wParam, lParam);
    }
    current_ = saved;
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_COMMAND:
        if (OnCommand(wParam, lParam)) {
            *result = 0;
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY:
        return OnNotify(wParam, lParam, result);
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        *result = 0;
        return TRUE;
    case WM_DEVICECHANGE:
        *result = OnDeviceChange(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam));
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT CWnd::Default()
{
    return DefWindowProc(current_.message, current_.wParam, current_.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != nullptr) {
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM)
{
    return OnCmdMsg(LOWORD(wParam), HIWORD(wParam));
}

BOOL CWnd::OnCmdMsg(UINT, int)
{
    return FALSE;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result)
{
    NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
    if (header == nullptr) {
        return FALSE;
    }
    CWnd* child = FromHandlePermanent(header->hwndFrom);
    if (child != nullptr && child != this && child->OnChildNotify(WM_NOTIFY, header->idFrom, lParam, result)) {
        return TRUE;
    }
    return OnNotifyMsg(header, result);
}

BOOL CWnd::OnNotifyMsg(NMHDR*, LRESULT*)
{
    return FALSE;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* result)
{
    if (message == WM_NOTIFY) {
        return OnReflectedNotify(reinterpret_cast<NMHDR*>(lParam), result);
    }
    return FALSE;
}

BOOL CWnd::OnReflectedNotify(NMHDR*, LRESULT*)
{
    return FALSE;
}

void CWnd::OnTimer(UINT_PTR)
{
    Default();
}

LRESULT CWnd::OnDeviceChange(UINT, DWORD_PTR)
{
    return Default();
}

void CWnd::PostNcDestroy()
{
}

BOOL CWnd::ScreenToClient(LPRECT rect) const
{
    POINT points[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    if (!::ScreenToClient(m_hWnd, &points[0]) || !::ScreenToClient(m_hWnd, &points[1])) {
        return FALSE;
    }
    *rect = {points[0].x, points[0].y, points[1].x, points[1].y};
    return TRUE;
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    RECT area = {};
    HWND center = alternateOwner ? alternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
    if (center != nullptr && ::IsWindowVisible(center) && !::IsIconic(center)) {
        ::GetWindowRect(center, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT own = {};
    ::GetWindowRect(m_hWnd, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // Keep the whole window on the work area.
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::GetWindowText(CString& text) const
{
    const int length = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(m_hWnd, buffer.data(), length + 1);
    text = buffer.data();
}

int CWnd::MessageBox(LPCWSTR text, LPCWSTR caption, UINT type)
{
    return ::MessageBoxW(m_hWnd, text, caption, type);
}
