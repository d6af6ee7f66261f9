#pragma once
//
//  The setup wizard's first page: the whitelist, the rule for storage off the list and the
//  three blocking switches. USB storage control itself is not offered: the wizard always
//  switches it on. Windows builds only.
//
#include "classlib/CPropertyPage.h"
#include "core/model/Setting.h"
#include "tool/CWhiteListControl.h"

class CInitializeWizardWholePage : public CPropertyPage {
public:
    // startingSetting stays the wizard's and must outlive the page; the page opens with it.
    explicit CInitializeWizardWholePage(const Quelmar::SettingV3* startingSetting);

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnCmdMsg(UINT id, int code) override;
    BOOL OnNotifyMsg(NMHDR* header, LRESULT* result) override;

    void EnableControls(BOOL enable);
    void UpdateButtons();

    // 0 block all, 1 all read-only (radio group 1005).
    int m_outsideIndex = 0;
    CWhiteListControl m_list;
    int m_blockPortable = 0;
    int m_blockCdWriting = 0;
    int m_blockInternalSd = 0;

private:
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnImportCsv();
    void OnExportCsv();

    const Quelmar::SettingV3* startingSetting_;
};
