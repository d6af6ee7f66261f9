#pragma once
//
//  A list view whose rows own a heap copy of the record they show (as item data).
//
//  The object keeps the set of copies it made, and a row's copy is freed whenever the row
//  goes: when the control is told to delete one row or all of them (by this object or by
//  anyone, from any thread: the messages are handled where the control lives), through the
//  reflected LVN_DELETEITEM for deletions the control makes itself, and when the control's
//  window or this object is destroyed. A copy leaves the set before it is freed, and only a
//  copy in the set is ever handed out or freed, so no path frees one twice and no path depends
//  on the parent reflecting the notification. Freeing every row sends nothing per row to the
//  control: a large list goes at once. Windows builds only.
//
#include "classlib/CListCtrl.h"

#include <memory>
#include <unordered_set>

template <typename Row>
class COwningListCtrl : public CListCtrl {
public:
    ~COwningListCtrl() override
    {
        // The window may outlive this object: its rows must not keep copies that are gone.
        if (m_hWnd != nullptr && ::IsWindow(m_hWnd) && !rows_.empty()) {
            for (int index = GetItemCount() - 1; index >= 0; --index) {
                LVITEMW item = {};
                item.mask = LVIF_PARAM;
                item.iItem = index;
                ::SendMessageW(m_hWnd, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            }
        }
        FreeAllRows();
    }

    // Appends a row with the text and a copy of row; the index, or -1 (nothing kept).
    int AppendRow(const CString& text, const Row& row)
    {
        std::unique_ptr<Row> owned(new Row(row));
        // The set may run out of memory too: the copy stays owned until the set holds it.
        rows_.insert(owned.get());
        Row* copy = owned.release();
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = GetItemCount();
        item.pszText = const_cast<LPWSTR>(text.GetString());
        item.lParam = reinterpret_cast<LPARAM>(copy);
        const int index = InsertItem(&item);
        if (index < 0) {
            FreeRow(copy);
        }
        return index;
    }
    // The row's own copy; null for a row without one.
    Row* GetRow(int index) const
    {
        Row* row = reinterpret_cast<Row*>(GetItemData(index));
        return row != nullptr && rows_.count(row) != 0 ? row : nullptr;
    }

    BOOL OnReflectedNotify(NMHDR* header, LRESULT* result) override
    {
        if (header->code == LVN_DELETEITEM) {
            FreeRow(reinterpret_cast<Row*>(reinterpret_cast<NMLISTVIEW*>(header)->lParam));
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
        switch (message) {
        case LVM_DELETEITEM:
            FreeRow(GetRow(static_cast<int>(wParam)));
            break;
        case LVM_DELETEALLITEMS:
        case WM_DESTROY:
            FreeAllRows();
            break;
        default:
            break;
        }
        return CListCtrl::OnWndMsg(message, wParam, lParam, result);
    }

private:
    void FreeRow(Row* row)
    {
        if (row != nullptr && rows_.erase(row) != 0) {
            delete row;
        }
    }
    void FreeAllRows()
    {
        for (Row* row : rows_) {
            delete row;
        }
        rows_.clear();
    }

    std::unordered_set<Row*> rows_;
};
