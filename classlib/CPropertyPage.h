#pragma once
//
//  A page of a property sheet or wizard: a dialog template that the sheet creates when the
//  page is first shown. The sheet's notifications reach the page's virtual operations (set
//  active, kill active, apply, reset, wizard back/next/finish); the results go back to the
//  sheet as the system expects. Windows builds only.
//
#include "classlib/CDialog.h"

#include <commctrl.h>

class CPropertyPage : public CDialog {
public:
    explicit CPropertyPage(UINT templateId, UINT captionId = 0);
    ~CPropertyPage() override;

    // TRUE to let the page be shown.
    virtual BOOL OnSetActive();
    // TRUE to let the page be left; by default the values are taken from the controls.
    virtual BOOL OnKillActive();
    // TRUE when the page's values were applied; FALSE keeps the sheet on the page.
    virtual BOOL OnApply();
    virtual void OnReset();
    // 0 to go on to the next (or previous) page, -1 to stay, or a template id to go to.
    virtual LRESULT OnWizardBack();
    virtual LRESULT OnWizardNext();
    // TRUE to let the wizard finish.
    virtual BOOL OnWizardFinish();

    void OnOK() override;
    void OnCancel() override;

    // Tells the sheet that the page holds unapplied changes (the Apply button follows).
    void SetModified(BOOL changed = TRUE);
    BOOL IsModified() const { return modified_; }
    // The sheet's window.
    HWND GetSheetWindow() const { return ::GetParent(m_hWnd); }

    BOOL OnNotifyMsg(NMHDR* header, LRESULT* result) override;

    PROPSHEETPAGEW m_psp;

private:
    static UINT CALLBACK PageCallback(HWND hWnd, UINT message, LPPROPSHEETPAGEW page);
    CString caption_;
    BOOL modified_ = FALSE;
};
