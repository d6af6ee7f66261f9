#pragma once
//
//  The setup wizard's last page: a read-only summary of what the first page set. Windows
//  builds only.
//
#include "classlib/CPropertyPage.h"

class CInitializeWizardWholePage;

class CInitializeWizardFinishPage : public CPropertyPage {
public:
    // wholePage stays the wizard's and must outlive this page.
    explicit CInitializeWizardFinishPage(CInitializeWizardWholePage* wholePage);

    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnSetActive() override;

    CString m_summary;

private:
    CInitializeWizardWholePage* wholePage_;
};

// The summary of the first page's whitelist, rule for storage off the list and switches, one
// item a line; the password page is not shown.
void BuildSettingSummary(CString& text, CInitializeWizardWholePage& wholePage);
