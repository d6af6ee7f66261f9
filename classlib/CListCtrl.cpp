#include "classlib/CListCtrl.h"

#include <vector>

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask)
{
    LVITEMW info = {};
    info.stateMask = mask;
    info.state = state;
    return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info)));
}

DWORD_PTR CListCtrl::GetItemData(int item) const
{
    LVITEMW info = {};
    info.mask = LVIF_PARAM;
    info.iItem = item;
    if (!::SendMessageW(m_hWnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info))) {
        return 0;
    }
    return static_cast<DWORD_PTR>(info.lParam);
}

BOOL CListCtrl::SetItemText(int item, int subItem, LPCWSTR text)
{
    LVITEMW info = {};
    info.iSubItem = subItem;
    info.pszText = const_cast<LPWSTR>(text);
    return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info)));
}

CString CListCtrl::GetItemText(int item, int subItem) const
{
    // The control copies at most the buffer's size; grow until the text fits.
    for (int size = 256; size <= 65536; size *= 4) {
        std::vector<wchar_t> buffer(static_cast<size_t>(size), L'\0');
        LVITEMW info = {};
        info.iSubItem = subItem;
        info.pszText = buffer.data();
        info.cchTextMax = size;
        const int length = static_cast<int>(::SendMessageW(m_hWnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info)));
        if (length < size - 1) {
            return CString(buffer.data(), static_cast<size_t>(length));
        }
    }
    return CString();
}
