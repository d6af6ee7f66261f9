#pragma once
//
//  The main sheet's import page: whether the tool applies an install-setting file at every
//  start, which file, and when one was last imported. It reads the sheet's loaded setting
//  when it opens and writes only the two automatic-import fields of the edited setting on
//  apply; nothing is imported while the sheet is open. Windows builds only.
//
#include "classlib/CPropertyPage.h"

class CMainImportPage : public CPropertyPage {
public:
    CMainImportPage();

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    BOOL OnCmdMsg(UINT id, int code) override;

    BOOL IsChanged() const;
    // Refuses a switched-on import without a file name.
    BOOL Validate();

    int m_importAtStart = 0;    // check box 1038
    CString m_filePath;         // edit 1036
    CString m_lastImport;       // static 1039

private:
    // Moves the values into the controls. The edits report the texts they are given as
    // changes; those are not the user's and must not read the controls half-filled.
    void ShowValues();
    void EnableFileControls();
    void OnAutoImport();
    void OnFileChange();
    void OnBrowse();

    bool showingValues_ = false;
};
