#include "tool/CWhiteListControl.h"

#include "tool/WhitelistEntryText.h"

void InsertSingleColumn(CListCtrl& list)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = 0x1000;
    column.cx = 0;
    column.pszText = const_cast<LPWSTR>(L"");
    list.InsertColumn(0, &column);
    list.SetColumnWidth(0, LVSCW_AUTOSIZE_USEHEADER);
}

void CWhiteListControl::SetColumns()
{
    InsertSingleColumn(*this);
}

int CWhiteListControl::AddEntry(const Quelmar::WhitelistEntry& entry, int autosize)
{
    CString text;
    if (!FormatWhitelistEntry(entry, text)) {
        return -1;
    }
    const int index = AppendRow(text, entry);
    if (index >= 0 && autosize == 1) {
        SetColumnWidth(0, LVSCW_AUTOSIZE);
    }
    return index;
}

void CWhiteListControl::UpdateEntry(const Quelmar::WhitelistEntry& entry, int index)
{
    CString text;
    if (!FormatWhitelistEntry(entry, text)) {
        return;
    }
    Quelmar::WhitelistEntry* own = GetRow(index);
    if (own == nullptr) {
        return;
    }
    SetItemText(index, 0, text);
    SetColumnWidth(0, LVSCW_AUTOSIZE);
    *own = entry;
}

void CWhiteListControl::DeleteSelected()
{
    for (int index = GetNextItem(-1, LVNI_SELECTED); index >= 0; index = GetNextItem(-1, LVNI_SELECTED)) {
        if (!DeleteItem(index)) {
            break;
        }
    }
}

void CWhiteListControl::GetAllEntries(std::vector<Quelmar::WhitelistEntry>& entries) const
{
    entries.clear();
    const int count = GetItemCount();
    for (int index = 0; index < count; ++index) {
        if (const Quelmar::WhitelistEntry* entry = GetRow(index)) {
            entries.push_back(*entry);
        }
    }
}

BOOL CWhiteListControl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_APP_APPEND_ENTRIES) {
        const Quelmar::WhitelistEntry* entries = reinterpret_cast<const Quelmar::WhitelistEntry*>(lParam);
        int added = 0;
        for (WPARAM i = 0; entries != nullptr && i < wParam; ++i) {
            added += AddEntry(entries[i], 0) >= 0 ? 1 : 0;
        }
        *result = added;
        return TRUE;
    }
    if (message == WM_APP_COPY_ENTRIES) {
        if (lParam != 0) {
            GetAllEntries(*reinterpret_cast<std::vector<Quelmar::WhitelistEntry>*>(lParam));
        }
        *result = 0;
        return TRUE;
    }
    return COwningListCtrl<Quelmar::WhitelistEntry>::OnWndMsg(message, wParam, lParam, result);
}
