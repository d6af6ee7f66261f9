#pragma once
//
//  A tree view, with the calls the programs make on it. Windows builds only.
//
#include "classlib/CString.h"
#include "classlib/CWnd.h"

#include <commctrl.h>

class CTreeCtrl : public CWnd {
public:
    HTREEITEM InsertItem(const TVINSERTSTRUCTW* insert)
    {
        return reinterpret_cast<HTREEITEM>(::SendMessageW(m_hWnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(insert)));
    }
    HTREEITEM InsertItem(LPCWSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    BOOL DeleteItem(HTREEITEM item)
    {
        return static_cast<BOOL>(::SendMessageW(m_hWnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    BOOL Expand(HTREEITEM item, UINT code)
    {
        return static_cast<BOOL>(::SendMessageW(m_hWnd, TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const
    {
        return reinterpret_cast<HTREEITEM>(::SendMessageW(m_hWnd, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    UINT GetCount() const { return static_cast<UINT>(::SendMessageW(m_hWnd, TVM_GETCOUNT, 0, 0)); }
    UINT GetItemState(HTREEITEM item, UINT mask) const
    {
        return static_cast<UINT>(::SendMessageW(m_hWnd, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), mask));
    }
    CString GetItemText(HTREEITEM item) const;
};
