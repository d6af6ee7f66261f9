#pragma once
//
//  A list view, with the calls the programs make on it. Windows builds only.
//
#include "classlib/CString.h"
#include "classlib/CWnd.h"

#include <commctrl.h>

class CListCtrl : public CWnd {
public:
    int InsertColumn(int column, const LVCOLUMNW* info)
    {
        return static_cast<int>(::SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                                               reinterpret_cast<LPARAM>(info)));
    }
    BOOL SetColumnWidth(int column, int width)
    {
        return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0)));
    }
    int GetColumnWidth(int column) const
    {
        return static_cast<int>(::SendMessageW(m_hWnd, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    }
    int InsertItem(const LVITEMW* item)
    {
        return static_cast<int>(::SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(item)));
    }
    int GetItemCount() const { return static_cast<int>(::SendMessageW(m_hWnd, LVM_GETITEMCOUNT, 0, 0)); }
    // Without LVS_OWNERDATA: room for that many rows at once, before they are inserted.
    BOOL SetItemCount(int count) { return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0)); }
    BOOL DeleteItem(int item) { return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_DELETEITEM, static_cast<WPARAM>(item), 0)); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_DELETEALLITEMS, 0, 0)); }
    int GetNextItem(int item, int flags) const
    {
        return static_cast<int>(::SendMessageW(m_hWnd, LVM_GETNEXTITEM, static_cast<WPARAM>(item), MAKELPARAM(flags, 0)));
    }
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const
    {
        return static_cast<UINT>(::SendMessageW(m_hWnd, LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask));
    }
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItemText(int item, int subItem, LPCWSTR text);
    CString GetItemText(int item, int subItem) const;
    BOOL EnsureVisible(int item, BOOL partialOk)
    {
        return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), partialOk));
    }
};
