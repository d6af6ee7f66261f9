#pragma once
//
//  A list view whose rows own a heap copy of the record they show (as item data).
//
//  A row's copy is freed whenever the row goes: through DeleteItem and DeleteAllItems here,
//  through the reflected LVN_DELETEITEM for deletions the control makes itself, and when the
//  control's window or this object is destroyed. The copy is detached from its row before it
//  is freed, so no path frees it twice and no path depends on the parent reflecting the
//  notification. Windows builds only.
//
#include "classlib/CListCtrl.h"

template <typename Row>
class COwningListCtrl : public CListCtrl {
public:
    ~COwningListCtrl() override { FreeAllRows(); }

    // Appends a row with the text and a copy of row; the index, or -1 (nothing kept).
    int AppendRow(const CString& text, const Row& row)
    {
        Row* copy = new Row(row);
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = GetItemCount();
        item.pszText = const_cast<LPWSTR>(text.GetString());
        item.lParam = reinterpret_cast<LPARAM>(copy);
        const int index = InsertItem(&item);
        if (index < 0) {
            delete copy;
        }
        return index;
    }
    // The row's own copy; null for a row without one.
    Row* GetRow(int index) const { return reinterpret_cast<Row*>(GetItemData(index)); }

    BOOL DeleteItem(int index)
    {
        FreeRow(index);
        return CListCtrl::DeleteItem(index);
    }
    BOOL DeleteAllItems()
    {
        FreeAllRows();
        return CListCtrl::DeleteAllItems();
    }

    BOOL OnReflectedNotify(NMHDR* header, LRESULT* result) override
    {
        if (header->code == LVN_DELETEITEM) {
            delete reinterpret_cast<Row*>(reinterpret_cast<NMLISTVIEW*>(header)->lParam);
            *result = 0;
            return TRUE;
        }
        if (header->code == LVN_DELETEALLITEMS) {
            // FALSE asks the control for one LVN_DELETEITEM per row.
            *result = FALSE;
            return TRUE;
        }
        return FALSE;
    }

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message == WM_DESTROY) {
            FreeAllRows();
        }
        return CListCtrl::OnWndMsg(message, wParam, lParam, result);
    }

private:
    void FreeRow(int index)
    {
        Row* row = GetRow(index);
        if (row == nullptr) {
            return;
        }
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = index;
        item.lParam = 0;
        ::SendMessageW(m_hWnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        delete row;
    }
    void FreeAllRows()
    {
        if (m_hWnd == nullptr || !::IsWindow(m_hWnd)) {
            return;
        }
        for (int index = GetItemCount() - 1; index >= 0; --index) {
            FreeRow(index);
        }
    }
};
