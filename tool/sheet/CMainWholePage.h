#pragma once
//
//  The main sheet's general page: USB storage control, the whitelist, the rule for storage off
//  the list and the blocking switches. It reads the sheet's loaded setting when it opens and
//  writes the sheet's edited setting on apply; it never saves. Windows builds only.
//
#include "classlib/CPropertyPage.h"
#include "tool/sheet/WhitelistPageFields.h"

class CMainWholePage : public CPropertyPage {
public:
    CMainWholePage();

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    BOOL OnCmdMsg(UINT id, int code) override;
    BOOL OnNotifyMsg(NMHDR* header, LRESULT* result) override;

    // Whether the page differs from the sheet's loaded setting.
    BOOL IsChanged() const;
    void EnableControls(BOOL enable);
    // Edit and delete need a selected row; export needs rows while control is on.
    void UpdateButtons();

    int m_usbControl = 0;   // check box 1000
    WhitelistPageFields m_fields;

private:
    void OnEnableControl();
    void OnModified();
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnImportCsv();
    void OnExportCsv();
};
