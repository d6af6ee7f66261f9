#pragma once
//
//  The whitelist shown as a one-column list view, one row per entry; each row owns a copy
//  of its entry. Windows builds only.
//
#include "core/model/WhitelistEntry.h"
#include "tool/OwningListCtrl.h"

#include <vector>

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
    // Copies of every row's entry, in row order.
    void GetAllEntries(std::vector<Quelmar::WhitelistEntry>& entries) const;
};

// The single column of the tool's one-column lists.
void InsertSingleColumn(CListCtrl& list);
