#include "tool/CWhiteListControl.h"

#include "tool/WhitelistEntryText.h"

#include <memory>
#include <type_traits>
#include <vector>

namespace {

// The list's font selected into a device context of the list, for measuring row texts.
class ListTextMeasure {
public:
    explicit ListTextMeasure(const CListCtrl& list)
        : window_(list.m_hWnd), dc_(::GetDC(window_)),
          previousFont_(dc_ != nullptr ? ::SelectObject(dc_, list.GetFont()) : nullptr)
    {
    }
    ~ListTextMeasure()
    {
        if (dc_ != nullptr) {
            ::SelectObject(dc_, previousFont_);
            ::ReleaseDC(window_, dc_);
        }
    }
    ListTextMeasure(const ListTextMeasure&) = delete;
    ListTextMeasure& operator=(const ListTextMeasure&) = delete;

    // The text's width in pixels; -1 when it cannot be measured.
    int Width(const CString& text) const
    {
        SIZE size = {};
        if (dc_ == nullptr || !::GetTextExtentPoint32W(dc_, text.GetString(), text.GetLength(), &size)) {
            return -1;
        }
        return size.cx;
    }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ previousFont_;
};

using ScopedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&::DestroyWindow)>;

// The handlers of the messages that other threads send: an exception that left them would be
// swallowed by the window procedure, and the sender would take the rows done so far for all.

int AppendEntries(CWhiteListControl& list, const Quelmar::WhitelistEntry* entries, size_t count)
{
    int added = 0;
    try {
        for (size_t i = 0; entries != nullptr && i < count; ++i) {
            added += list.AddEntry(entries[i], 0) >= 0 ? 1 : 0;
        }
    } catch (...) {
    }
    return added;
}

bool CopyEveryEntry(const CWhiteListControl& list, std::vector<Quelmar::WhitelistEntry>& entries)
{
    const int count = list.GetItemCount();
    try {
        list.GetAllEntries(entries);
        if (entries.size() == static_cast<size_t>(count)) {
            return true;
        }
    } catch (...) {
    }
    // Freed rather than cleared: the sender reports the failure next, and needs memory for it.
    std::vector<Quelmar::WhitelistEntry>().swap(entries);
    return false;
}

}  // namespace

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
        FitColumnToRows();
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
    FitColumnToRows();
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

// A list view sizes a column by fetching and measuring each row on its own, which in some
// implementations takes seconds for a whitelist of 100,000 entries. The widest row is found
// here with the list's own font, and the list's own sizing is asked for that row alone, in a
// hidden one-row list of the same kind, so that margins stay exactly the list's.
void CWhiteListControl::FitColumnToRows()
{
    const int count = GetItemCount();
    CString widest;
    int widestWidth = -1;
    {
        const ListTextMeasure measure(*this);
        for (int index = 0; index < count; ++index) {
            CString text = GetItemText(index, 0);
            const int width = measure.Width(text);
            if (width > widestWidth) {
                widestWidth = width;
                widest = text;
            }
        }
    }
    if (widestWidth < 0) {
        SetColumnWidth(0, LVSCW_AUTOSIZE);
        return;
    }
    const ScopedWindow single(::CreateWindowExW(0, WC_LISTVIEWW, L"",
                                                (static_cast<DWORD>(GetStyle()) & 0xFFFF) | WS_POPUP, 0, 0, 0,
                                                0, nullptr, nullptr, nullptr, nullptr),
                              &::DestroyWindow);
    if (single == nullptr) {
        SetColumnWidth(0, LVSCW_AUTOSIZE);
        return;
    }
    ::SendMessageW(single.get(), LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   ::SendMessageW(m_hWnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    ::SendMessageW(single.get(), WM_SETFONT, reinterpret_cast<WPARAM>(GetFont()), FALSE);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    ::SendMessageW(single.get(), LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.pszText = const_cast<LPWSTR>(widest.GetString());
    ::SendMessageW(single.get(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ::SendMessageW(single.get(), LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE, 0));
    SetColumnWidth(0, static_cast<int>(::SendMessageW(single.get(), LVM_GETCOLUMNWIDTH, 0, 0)));
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
        *result = AppendEntries(*this, reinterpret_cast<const Quelmar::WhitelistEntry*>(lParam), wParam);
        return TRUE;
    }
    if (message == WM_APP_FIT_COLUMN) {
        FitColumnToRows();
        *result = 0;
        return TRUE;
    }
    if (message == WM_APP_COPY_ENTRIES) {
        auto* entries = reinterpret_cast<std::vector<Quelmar::WhitelistEntry>*>(lParam);
        *result = entries != nullptr && CopyEveryEntry(*this, *entries) ? TRUE : FALSE;
        return TRUE;
    }
    return COwningListCtrl<Quelmar::WhitelistEntry>::OnWndMsg(message, wParam, lParam, result);
}
