#pragma once
//
//  The whitelist shown as a one-column list view, one row per entry; each row owns a copy
//  of its entry. Windows builds only.
//
#include "core/model/WhitelistEntry.h"
#include "tool/OwningListCtrl.h"

#include <vector>

// Sent to a whitelist list, also from another thread: wParam a count, lParam the first of that
// many entries in a row. They are appended as rows without sizing the column; the result is
// the number of rows added, fewer than the count when some could not be (memory ran out on
// the list's thread).
constexpr UINT WM_APP_APPEND_ENTRIES = WM_APP + 0x3EA;
// Sent to a whitelist list, also from another thread: lParam a vector of entries that receives
// copies of every row's entry, in row order. The result is TRUE when it holds them all;
// otherwise FALSE, and the vector is left empty.
constexpr UINT WM_APP_COPY_ENTRIES = WM_APP + 0x3EB;
// Sent to a whitelist list, also from another thread: sizes the column to its widest row.
constexpr UINT WM_APP_FIT_COLUMN = WM_APP + 0x3EC;

class CWhiteListControl : public COwningListCtrl<Quelmar::WhitelistEntry> {
public:
    // Inserts the single column (no text) and sizes it to its header.
    void SetColumns();
    // Appends the entry; the new row's index, or -1 when the entry has no text.
    int AddEntry(const Quelmar::WhitelistEntry& entry, int autosize);
    // Gives the row the entry's text and values, keeping its place and selection.
    void UpdateEntry(const Quelmar::WhitelistEntry& entry, int index);
    // Deletes every selected row.
    void DeleteSelected();
    // Sizes the column to its widest row, to the width that LVSCW_AUTOSIZE gives.
    void FitColumnToRows();
    // Copies of every row's entry, in row order.
    void GetAllEntries(std::vector<Quelmar::WhitelistEntry>& entries) const;

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

// The single column of the tool's one-column lists.
void InsertSingleColumn(CListCtrl& list);
