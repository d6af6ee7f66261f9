#pragma once
//
//  The setup wizard's first page: the whitelist, the rule for storage off the list and the
//  three blocking switches. USB storage control itself is not offered: the wizard always
//  switches it on. Windows builds only.
//
#include "classlib/CPropertyPage.h"
#include "core/model/Setting.h"
#include "tool/sheet/WhitelistPageFields.h"

class CInitializeWizardWholePage : public CPropertyPage {
public:
    // startingSetting stays the wizard's and must outlive the page; the page opens with it.
    explicit CInitializeWizardWholePage(const Quelmar::SettingV3* startingSetting);

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    // Stays while an import has left the list short: Finish would store it.
    LRESULT OnWizardNext() override;
    BOOL OnCmdMsg(UINT id, int code) override;
    BOOL OnNotifyMsg(NMHDR* header, LRESULT* result) override;

    // Edit and delete need a selected row, export needs rows; import is always there.
    void UpdateButtons();

    WhitelistPageFields m_fields;

private:
    const Quelmar::SettingV3* startingSetting_;
};
