#pragma once
//
//  Adds a whitelist entry or edits one: which of the five identity fields take part in
//  matching, their values (typed or taken from an attached device) and whether the entry is
//  read-only. On IDOK m_entry holds the result. Windows builds only.
//
#include "classlib/CDialog.h"
#include "core/model/WhitelistEntry.h"

#include <vector>

class CAddUSBStorageDlg : public CDialog {
public:
    // Add mode: nothing checked yet, the entry's attribute -1 until OK.
    explicit CAddUSBStorageDlg(CWnd* parent = nullptr);
    // Edit mode: starts from a copy of the entry.
    explicit CAddUSBStorageDlg(const Quelmar::WhitelistEntry& entry, CWnd* parent = nullptr);

    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnCmdMsg(UINT id, int code) override;

    static constexpr int kFieldCount = 5;

    // Vendor ID, product ID, serial number, manufacturer, product; edits 1015-1019.
    CString m_text[kFieldCount];
    // The same order; check boxes 1010-1014.
    int m_use[kFieldCount] = {};
    int m_readOnly = 0;
    // 1 add, 0 edit.
    int m_mode = 1;
    CString m_caption;
    Quelmar::WhitelistEntry m_entry;
    // The entries already in the whitelist; the device selection does not offer them.
    std::vector<Quelmar::WhitelistEntry> m_excludedEntries;

private:
    void OnCheckField(int field);
    void OnBrowse();
    void RefuseField(UINT messageId, int editId);
};
