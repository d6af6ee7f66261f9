#pragma once
//
//  The setting tool's main window: the settings sheet with the general, password, import and
//  about pages, an export button beside the tabs, and the OK / Apply / Cancel flow that stores
//  the password data and then the setting through the tool core, asks the service to reload
//  and offers a restart when CD/DVD write blocking changed. Windows builds only.
//
#include "classlib/CButton.h"
#include "classlib/CPropertySheet.h"
#include "core/model/PasswordData.h"
#include "core/model/Setting.h"
#include "tool/ISettingToolCore.h"

#include <memory>
#include <vector>

// Same protection switches, digest bytes, key device (exact serial text) and unlock mode.
BOOL EqualPasswordData(const Quelmar::PasswordData& a, const Quelmar::PasswordData& b);

class CMainSheet : public CPropertySheet {
public:
    explicit CMainSheet(Quelmar::ISettingToolCore& core = Quelmar::GetSettingToolCore());
    ~CMainSheet() override;

    BOOL DestroyWindow() override;
    BOOL OnInitDialog() override;
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnApplyNow();

    BOOL OnCmdMsg(UINT id, int code) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // The pages' values taken and stored; FALSE when a page refused or a step failed (its
    // message shown), and the sheet stays open with the user's edits.
    BOOL ApplyAll();
    void OnExportInstallSetting();

    Quelmar::ISettingToolCore& Core() const { return core_; }
    // The main sheet that holds the page; null while the page is in no main sheet.
    static CMainSheet* FromPage(const CPropertyPage& page);

    // As loaded when the sheet opened or last stored; the pages read these.
    Quelmar::SettingV3 m_loadedSetting;
    // What the pages wrote on the last apply.
    Quelmar::SettingV3 m_editedSetting;
    Quelmar::PasswordData m_loadedPassword;
    Quelmar::PasswordData m_editedPassword;
    CButton m_exportButton;

private:
    void AddExportButton();
    // Edited records back to the loaded ones, then every created page applies into them.
    BOOL ApplyPages();
    // The pages' values stored and the service told; FALSE when a step failed (shown).
    BOOL StoreApplied();
    // The pages that hold edits not yet applied.
    std::vector<CPropertyPage*> ModifiedPages() const;
    // After an apply that did not go through: the pages keep their mark and Apply stays
    // enabled while anything is left to apply.
    void KeepUnapplied(const std::vector<CPropertyPage*>& modified, BOOL applyEnabled);
    // The shell's folder choice, with the sheet disabled while it runs.
    bool ChooseExportFolder(CString& path);

    Quelmar::ISettingToolCore& core_;
    std::vector<std::unique_ptr<CPropertyPage>> ownedPages_;
    // The stored setting has not reached the service yet: the next OK or Apply asks again.
    bool reloadPending_ = false;
};
